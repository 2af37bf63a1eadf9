#include "folderentries.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform::folders {

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int Descriptor::close()
{
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
}

int open(const std::string& path, FolderFiles& identity)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info { };
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    return fd;
}

bool forEachEntry(int folder, const std::function<void(const char* name, unsigned char type)>& visit)
{
    // The listing moves its own descriptor's position: a copy keeps `folder` as it was.
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        visit(name, entry->d_type);
    }
    ::closedir(dir);
    return true;
}

std::vector<std::string> names(int folder)
{
    std::vector<std::string> found;
    forEachEntry(folder, [&](const char* name, unsigned char) { found.emplace_back(name); });
    return found;
}

namespace {

void removeTreeAt(int parent, const char* name, int depth)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        forEachEntry(fd, [&](const char* entry, unsigned char) {
            if (::unlinkat(fd, entry, 0) != 0 && (errno == EISDIR || errno == EPERM) && depth < 32)
                removeTreeAt(fd, entry, depth + 1);
        });
        ::close(fd);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

} // namespace

void removeTree(int parent, const char* name)
{
    removeTreeAt(parent, name, 0);
}

} // namespace corvatek::platform::folders
