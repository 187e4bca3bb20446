// What the program says about its work, for whoever switches it on: every driver call in
// crtest.driver, the outcomes a user sees in crtest.events. Both are off until --verbose
// or QT_LOGGING_RULES turns them on; messages go to standard error.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDriver)
Q_DECLARE_LOGGING_CATEGORY(lcEvents)

// The rules --verbose adds; QT_LOGGING_RULES still overrides them, as Qt documents.
inline constexpr const char *VerboseLoggingRules = "crtest.driver=true\ncrtest.events=true";
