// A backup entry as the backup page hands it over: "<source>;<destination>".
#pragma once

#include <optional>
#include <string>

namespace corvatek::backup {

struct Folders {
    std::string source;
    std::string destination;
};

// A folder name may hold ";" too: the entry splits at the first ";" that
// leaves two existing absolute folders. Nothing when none does.
std::optional<Folders> splitEntry(const std::string& entry);

} // namespace corvatek::backup
