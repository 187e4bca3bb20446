#include "logcategories.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

// Info is the level the program logs at; only warnings pass by default, so both categories
// stay quiet unless asked.
Q_LOGGING_CATEGORY(lcDriver, "crtest.driver", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEvents, "crtest.events", QtWarningMsg)

namespace {
bool wanted = true;

bool isFile(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}
} // namespace

bool loggingWanted()
{
    return wanted;
}

void setLoggingWanted(bool value)
{
    wanted = value;
}

bool loggingConfigured(bool verbose)
{
    if (verbose || !environment("QT_LOGGING_RULES").empty() || !environment("QT_LOGGING_CONF").empty())
        return true;
    // The folders Qt reads QtProject/qtlogging.ini from, as the XDG rules give them.
    std::string home = environment("XDG_CONFIG_HOME");
    if (home.empty() && !environment("HOME").empty())
        home = environment("HOME") + "/.config";
    std::string folders = home + ':' + environment("XDG_CONFIG_DIRS");
    if (environment("XDG_CONFIG_DIRS").empty())
        folders += "/etc/xdg";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && isFile(folder + "/QtProject/qtlogging.ini"))
            return true;
        start = end + 1;
    }
    return false;
}
