// The backup's "<source>;<destination>" split, over real folders whose
// names hold ";" and blanks as a user's may.
#include "finding.h"
#include "entry.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

using corvatek::fuzz::fail;

namespace {

bool isFolder(const std::string& path)
{
    struct stat facts { };
    return path.starts_with('/') && ::stat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    static const std::string root = [] {
        for (const char* name : {"a", "a;b", "b", "a;b;c", "my docs", ";"})
            QDir(dir.path()).mkpath(QString::fromUtf8(name));
        return dir.path().toStdString();
    }();
    // '@' stands for the folder of the run, so that inputs reach real folders.
    std::string entry;
    for (std::size_t i = 0; i < size; ++i)
        entry += data[i] == '@' ? root : std::string(1, char(data[i]));
    if (entry.find('\0') != std::string::npos)
        return 0; // no argument holds one

    const auto folders = corvatek::backup::splitEntry(entry);
    std::size_t first = std::string::npos;
    for (std::size_t at = entry.find(';'); at != std::string::npos; at = entry.find(';', at + 1)) {
        if (isFolder(entry.substr(0, at)) && isFolder(entry.substr(at + 1))) {
            first = at;
            break;
        }
    }
    if (!folders) {
        if (first != std::string::npos)
            fail("an entry of two folders was not split");
        return 0;
    }
    if (first == std::string::npos || folders->source != entry.substr(0, first) ||
        folders->destination != entry.substr(first + 1))
        fail("the entry was not split at the first \";\" that leaves two folders");
    return 0;
}
