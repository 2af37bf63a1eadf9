// The locale variables, which name the user's language on every system
// where they are set (on Windows, for programs ported from Unix and wine).
#pragma once

#include <cstdlib>
#include <string>

namespace corvatek::platform {

// The first of LC_ALL, LC_MESSAGES and LANG that is set, their order of
// precedence for messages; an empty one counts as unset.
inline std::string messagesLocale()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

} // namespace corvatek::platform
