// The scan mode as the scan page or a person gives it: one digit, perhaps
// with blanks around it.
#pragma once

#include <string>
#include <string_view>

namespace corvatek::probe {

struct ModeArgument {
    int mode = -1; // 0 to 3; -1 for anything else
    std::string text; // what was given, as UTF-8 text without its blanks
};

ModeArgument scanMode(std::string_view given);

} // namespace corvatek::probe
