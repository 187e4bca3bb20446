#include "logcategories.h"

// Info is the level the program logs at; only warnings pass by default, so both categories
// stay quiet unless asked.
Q_LOGGING_CATEGORY(lcDriver, "crtest.driver", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEvents, "crtest.events", QtWarningMsg)
