// How the driver libraries built here (the simulated controller, the printer driver) read
// their settings from the environment. Header only: a driver links nothing of the utility.
#pragma once

#include <cstdlib>
#include <optional>
#include <string_view>

namespace driversettings {

inline std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// An empty variable counts as unset, so that `VAR= crtest` restores the default.
inline std::optional<std::string_view> setting(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr || trimmed(value).empty())
        return std::nullopt;
    return trimmed(value);
}

} // namespace driversettings
