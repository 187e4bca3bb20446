// What the program says about its work, for whoever switches it on: every driver call in
// crtest.driver, the outcomes a user sees in crtest.events. Both are off until --verbose
// or QT_LOGGING_RULES turns them on; messages go to standard error.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDriver)
Q_DECLARE_LOGGING_CATEGORY(lcEvents)

// Whether anything may have switched a category on. Asking a category starts Qt's logging
// registry, which reads Qt's own configuration and grows a short-lived check's memory by
// some 0.7 MiB; a check that nothing asked to log leaves it alone. True unless set.
bool loggingWanted();
void setLoggingWanted(bool wanted);
// --verbose, QT_LOGGING_RULES, QT_LOGGING_CONF or a QtProject/qtlogging.ini in the user's
// or the system's configuration folders; looked for without Qt.
bool loggingConfigured(bool verbose);

// The rules --verbose adds; QT_LOGGING_RULES still overrides them, as Qt documents.
inline constexpr const char *VerboseLoggingRules = "crtest.driver=true\ncrtest.events=true";
