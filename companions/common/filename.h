// A file of the program folder by its name, from the control centre's
// header alone, so that a companion without Qt's library names each file
// as the control centre does.
#pragma once

#include "data/filenames.h"

#include <string>

namespace corvatek::companion {

// The names are ASCII, as every one is.
inline std::string fileName(QStringView name)
{
    std::string bytes;
    for (const QChar c : name)
        bytes.push_back(char(c.unicode()));
    return bytes;
}

} // namespace corvatek::companion
