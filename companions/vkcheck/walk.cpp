#include "walk.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvatek::vkcheck {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Which mount a folder is on: a bind mount of the same file system is
// another mount, as a device number would not tell.
std::uint64_t mountOf(int fd)
{
    struct statx info { };
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_MNT_ID, &info) != 0)
        return 0;
    if (info.stx_mask & STATX_MNT_ID)
        return info.stx_mnt_id;
    return (std::uint64_t(info.stx_dev_major) << 32 | info.stx_dev_minor) | (1ull << 63);
}

struct Level {
    DIR* listing;
    std::size_t pathLength;
};

} // namespace

Walked walk(const std::string& root, const std::function<Next(const Entry&)>& visit)
{
    Walked walked;
    const int top = ::open(root.c_str(), kFolderFlags & ~O_NOFOLLOW);
    if (top < 0) {
        walked.error = errno;
        return walked;
    }
    walked.opened = true;
    const std::uint64_t mount = mountOf(top);
    std::string path = root;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::vector<Level> stack;
    if (DIR* listing = ::fdopendir(top))
        stack.push_back({listing, path.size()});
    else
        ::close(top);
    while (!stack.empty()) {
        Level& level = stack.back();
        errno = 0;
        const dirent* entry = ::readdir(level.listing);
        if (!entry) {
            // A folder the disk cannot read to its end ends early.
            if (errno != 0)
                walked.failedFolders.push_back({path.substr(0, level.pathLength), errno});
            ::closedir(level.listing);
            stack.pop_back();
            continue;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const int folder = ::dirfd(level.listing);
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat facts { };
            if (::fstatat(folder, name, &facts, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = IFTODT(facts.st_mode);
        }
        path.resize(level.pathLength);
        path += '/';
        path += name;
        const Next next = visit({folder, name, type, path});
        if (next == Next::Stop) {
            walked.stopped = true;
            break;
        }
        if (type != DT_DIR || next == Next::SkipFolder)
            continue;
        const int fd = ::openat(folder, name, kFolderFlags);
        if (fd < 0) {
            if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR)
                walked.failedFolders.push_back({path, errno});
            continue;
        }
        if (mountOf(fd) != mount) {
            ::close(fd);
            continue;
        }
        DIR* listing = ::fdopendir(fd);
        if (!listing) {
            ::close(fd);
            continue;
        }
        stack.push_back({listing, path.size()});
    }
    for (const Level& level : stack)
        ::closedir(level.listing);
    return walked;
}

} // namespace corvatek::vkcheck
