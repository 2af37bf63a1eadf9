#include "readcheck.h"

#include "walk.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace corvatek::vkcheck {
namespace {

constexpr std::size_t kBlock = 4 << 20;
constexpr std::size_t kAlignment = 4096;

struct Aligned {
    void operator()(void* p) const { std::free(p); }
};

// Direct reads skip the page cache both ways: what is read comes from the
// disk, and the user's cached files are not pushed out. Where the file
// system has none (tmpfs, some FUSE), the pages read are dropped instead.
int openForReading(int folder, const char* name, bool& direct)
{
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    for (const int extra : {O_DIRECT | O_NOATIME, O_DIRECT, O_NOATIME, 0}) {
        if (!direct && (extra & O_DIRECT))
            continue;
        const int fd = ::openat(folder, name, flags | extra);
        if (fd >= 0) {
            direct = extra & O_DIRECT;
            return fd;
        }
        // Not the owner (no O_NOATIME) or no direct reads here: try without.
        if (errno != EPERM && errno != EINVAL)
            return -1;
    }
    return -1;
}

} // namespace

ReadCheck readCheck(const std::string& root)
{
    ReadCheck check;
    void* memory = nullptr;
    if (::posix_memalign(&memory, kAlignment, kBlock) != 0)
        return check;
    const std::unique_ptr<void, Aligned> block(memory);
    const Walked walked = walk(root, [&](const Entry& entry) {
        if (entry.type != DT_REG)
            return Next::Go;
        bool direct = true;
        int fd = openForReading(entry.folder, entry.name, direct);
        if (fd < 0) {
            if (errno == EACCES || errno == EPERM)
                ++check.denied;
            else if (errno == EIO)
                check.unreadable.push_back(entry.path);
            else if (errno != ENOENT && errno != ELOOP)
                ++check.failed;
            return Next::Go;
        }
        if (!direct)
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        off_t offset = 0;
        for (;;) {
            const ssize_t n = ::read(fd, block.get(), kBlock);
            if (n > 0) {
                if (!direct)
                    ::posix_fadvise(fd, offset, n, POSIX_FADV_DONTNEED);
                offset += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // A file system that opens for direct reads but refuses them.
            if (n < 0 && errno == EINVAL && direct && offset == 0) {
                ::close(fd);
                direct = false;
                if ((fd = openForReading(entry.folder, entry.name, direct)) < 0) {
                    ++check.failed;
                    break;
                }
                continue;
            }
            if (n == 0)
                ++check.files;
            else if (errno == EIO)
                check.unreadable.push_back(entry.path);
            else
                ++check.failed;
            break;
        }
        check.bytes += offset;
        if (fd >= 0)
            ::close(fd);
        return Next::Go;
    });
    check.opened = walked.opened;
    check.error = walked.error;
    for (const Walked::Failure& folder : walked.failedFolders) {
        if (folder.error == EACCES || folder.error == EPERM)
            ++check.denied;
        else if (folder.error == EIO)
            check.unreadable.push_back(folder.path);
        else
            ++check.failed;
    }
    return check;
}

} // namespace corvatek::vkcheck
