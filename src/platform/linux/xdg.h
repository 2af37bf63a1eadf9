// Where the freedesktop specifications put a user's files.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::platform::xdg {

inline std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

inline std::string home()
{
    return environment("HOME");
}

// A base folder from its variable, else the default under the home folder;
// a relative value is ignored, as the XDG base folders ask.
inline std::string baseFolder(const char* variable, const char* underHome)
{
    std::string folder = environment(variable);
    if (folder.empty() || folder.front() != '/')
        folder = home() + underHome;
    return folder;
}

inline std::string configHome()
{
    return baseFolder("XDG_CONFIG_HOME", "/.config");
}

inline std::string dataHome()
{
    return baseFolder("XDG_DATA_HOME", "/.local/share");
}

inline std::string autostartFolder()
{
    return configHome() + "/autostart";
}

// The system-wide configuration folders, most important first; relative
// entries are ignored.
inline std::vector<std::string> configDirs()
{
    std::vector<std::string> folders;
    std::string_view rest = std::getenv("XDG_CONFIG_DIRS") ? std::getenv("XDG_CONFIG_DIRS") : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        if (rest.front() == '/')
            folders.emplace_back(rest.substr(0, colon));
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    if (folders.empty())
        folders.emplace_back("/etc/xdg");
    return folders;
}

} // namespace corvatek::platform::xdg
