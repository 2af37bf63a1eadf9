#include "scanner.h"

#include "platform/linux/folderentries.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::probe {
namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

struct Entry {
    std::string name;
    unsigned char type;
};

// One open folder of the walk. Only its own name is kept: the path is
// built once, in the walk's one path, so a deep tree costs memory in
// proportion to its depth, not to its square.
struct Level {
    int fd;
    std::size_t pathLength; // of the walk's path up to this folder
    std::vector<Entry> entries;
    std::size_t next = 0;
};

// Which mount a file is on: a bind mount of the same file system is
// another mount, as a device number would not tell. The device number
// stands in where the kernel does not tell the mount.
std::uint64_t mountOf(int fd)
{
    struct statx info { };
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_MNT_ID, &info) != 0)
        return 0;
    if (info.stx_mask & STATX_MNT_ID)
        return info.stx_mnt_id;
    return (std::uint64_t(info.stx_dev_major) << 32 | info.stx_dev_minor) | (1ull << 63);
}

// Gone meanwhile, or a link where a file or folder was listed: nothing to
// count.
bool vanished(int error)
{
    return error == ENOENT || error == ELOOP || error == ENOTDIR;
}

// The real user the process runs as, from its status; -1 when it is gone.
long processUser(const char* pid)
{
    const std::string path = std::string("/proc/") + pid + "/status";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char* uid = std::strstr(text, "\nUid:");
    return uid ? std::strtol(uid + 5, nullptr, 10) : -1;
}

} // namespace

Scanner::Scanner(Verdicts verdicts, Report& report, std::size_t maxDepth)
    : verdicts_(std::move(verdicts)), report_(report), maxDepth_(maxDepth)
{
}

void Scanner::setRoots(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        struct stat info { };
        if (::stat(folder.c_str(), &info) == 0)
            roots_.emplace_back(info.st_dev, info.st_ino);
    }
}

bool Scanner::firstSight(int fd)
{
    struct stat info { };
    return ::fstat(fd, &info) != 0 || seen_.emplace(info.st_dev, info.st_ino).second;
}

void Scanner::scanOpen(int fd, const std::string& path, const std::uint64_t* mount)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        report_.countSkipped();
    } else if (S_ISREG(info.st_mode) && (!mount || mountOf(fd) == *mount)) {
        if (std::uint64_t(info.st_size) > kMaxFileSize) {
            report_.countUnscanned(Unscanned::TooLarge);
        } else {
            const Engine::Verdict verdict = verdicts_(fd, path);
            switch (verdict.kind) {
            case Engine::Verdict::Found: report_.found(path, verdict.signature); break;
            case Engine::Verdict::Clean: report_.countScanned(); break;
            case Engine::Verdict::BeyondLimits: report_.countUnscanned(Unscanned::BeyondLimits); break;
            case Engine::Verdict::Failed: report_.countSkipped(); break;
            }
        }
    }
    ::close(fd);
}

std::optional<std::string> Scanner::scanFolder(const std::string& folder, bool oneFileSystem, int* error)
{
    const int root = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    struct stat info { };
    if (root < 0 || ::fstat(root, &info) != 0) {
        const int why = errno;
        if (root >= 0)
            ::close(root);
        if (error)
            *error = why;
        return std::strerror(why);
    }
    const std::uint64_t mount = mountOf(root);
    const std::uint64_t* sameMount = oneFileSystem ? &mount : nullptr;
    const std::size_t deepest = deepestFolder() + 1;

    std::string path = folder == "/" ? std::string() : folder;
    std::vector<Level> stack;
    const auto enter = [&](int fd) {
        Level level {fd, path.size(), {}, 0};
        if (!platform::folders::forEachEntry(fd, [&](const char* name, unsigned char type) {
                level.entries.push_back({name, type});
            }))
            report_.countSkipped();
        report_.enterFolder(path);
        stack.push_back(std::move(level));
    };
    enter(root);

    while (!stack.empty()) {
        Level& level = stack.back();
        path.resize(level.pathLength);
        if (level.next == level.entries.size()) {
            ::close(level.fd);
            stack.pop_back();
            if (!stack.empty()) {
                path.resize(stack.back().pathLength);
                report_.enterFolder(path);
            }
            continue;
        }
        const Entry entry = std::move(level.entries[level.next++]);
        const int parent = level.fd;
        path += '/';
        path += entry.name;
        unsigned char type = entry.type;
        if (type == DT_UNKNOWN) {
            struct stat entryInfo { };
            if (::fstatat(parent, entry.name.c_str(), &entryInfo, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = IFTODT(entryInfo.st_mode);
        }
        if (type == DT_REG) {
            const int fd = ::openat(parent, entry.name.c_str(), kFileFlags);
            if (fd >= 0)
                scanOpen(fd, path, sameMount);
            else if (!vanished(errno))
                report_.countSkipped();
        } else if (type == DT_DIR) {
            const int fd = ::openat(parent, entry.name.c_str(), kFolderFlags);
            if (fd < 0) {
                if (!vanished(errno))
                    report_.countSkipped();
                continue;
            }
            struct stat folderInfo { };
            const bool elsewhere = ::fstat(fd, &folderInfo) != 0 || (sameMount && mountOf(fd) != mount) ||
                std::find(roots_.begin(), roots_.end(), std::pair(folderInfo.st_dev, folderInfo.st_ino)) !=
                    roots_.end();
            if (!elsewhere && stack.size() >= deepest) {
                ::close(fd);
                report_.countUnscanned(Unscanned::TooDeep);
                continue;
            }
            if (elsewhere) {
                ::close(fd);
                continue;
            }
            enter(fd);
        }
        // Links, pipes, sockets and devices are no files to scan.
    }
    return std::nullopt;
}

void Scanner::scanProgram(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return; // a program that is not there runs nothing
    const int fd = ::open(resolved, kFileFlags);
    if (fd < 0) {
        if (!vanished(errno))
            report_.countSkipped();
        return;
    }
    if (!firstSight(fd)) {
        ::close(fd);
        return;
    }
    report_.enterFolder(resolved);
    scanOpen(fd, resolved, nullptr);
}

void Scanner::scanRunningPrograms()
{
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return;
    const long user = long(::getuid());
    for (const std::string& pid : platform::folders::names(proc)) {
        if (pid.find_first_not_of("0123456789") != std::string::npos || processUser(pid.c_str()) != user)
            continue;
        // The file the process runs, even when its path now names another.
        const std::string exe = "/proc/" + pid + "/exe";
        const int fd = ::open(exe.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            // A kernel thread runs no program; a process may have ended.
            if (errno != ENOENT && errno != ESRCH)
                report_.countSkipped();
            continue;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(exe.c_str(), target, sizeof target);
        if (n <= 0 || std::size_t(n) >= sizeof target || !firstSight(fd)) {
            ::close(fd);
            continue;
        }
        const std::string path(target, std::size_t(n));
        report_.enterFolder(path);
        scanOpen(fd, path, nullptr);
    }
    ::close(proc);
}

} // namespace corvatek::probe
