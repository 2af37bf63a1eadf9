// A file of the program folder by its name, from the control centre's
// header alone, so that a companion without Qt's library names each file
// as the control centre does.
#pragma once

#include "data/filenames.h"

#include <string>
#include <string_view>

namespace corvatek::companion {

// The names are ASCII, as every one is.
inline std::string fileName(std::u16string_view name)
{
    std::string bytes;
    for (const char16_t c : name)
        bytes.push_back(char(c));
    return bytes;
}

} // namespace corvatek::companion
