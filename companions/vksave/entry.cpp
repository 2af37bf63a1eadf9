#include "entry.h"

#include <sys/stat.h>

namespace corvatek::backup {
namespace {

bool isAbsoluteFolder(const std::string& path)
{
    struct stat facts { };
    return path.starts_with('/') && ::stat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}

} // namespace

std::optional<Folders> splitEntry(const std::string& entry)
{
    for (std::size_t at = entry.find(';'); at != std::string::npos; at = entry.find(';', at + 1)) {
        Folders folders {entry.substr(0, at), entry.substr(at + 1)};
        if (isAbsoluteFolder(folders.source) && isAbsoluteFolder(folders.destination))
            return folders;
    }
    return std::nullopt;
}

} // namespace corvatek::backup
