// The scan mode as the scan page or a person gives it: one digit, perhaps
// with blanks around it.
#pragma once

#include "data/values.h"

#include <optional>
#include <string>
#include <string_view>

namespace corvatek::probe {

struct ModeArgument {
    std::optional<ScanMode> mode; // nothing for anything but a mode's digit
    std::string text; // what was given, as UTF-8 text without its blanks
};

ModeArgument scanMode(std::string_view given);

} // namespace corvatek::probe
