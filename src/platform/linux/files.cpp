// The in-use test and the shared-file lock on Linux: flock on the open file,
// shared to read and exclusive to write, the convention companions follow
// too.
#include "platform/files.h"
#include "platform/common/filelock.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvatek::platform {
namespace {

// What marks a replacement's temporary file, so that a killed one is known.
constexpr char kUnfinished[] = ".corvatek-new-";

// Open errors that waiting cannot clear. Any other failure may be passing
// (no descriptors left, a file busy for the moment) and counts as in use.
bool unusable(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ELOOP:
    case ENAMETOOLONG: return true;
    default: return false;
    }
}

// Whether the open descriptor is still the file the path names: a writer
// that replaced the file by rename while we waited for its lock leaves us
// holding the old one.
bool namesPath(int fd, const std::string& path)
{
    struct stat held { };
    struct stat named { };
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino;
}

} // namespace

Attempt tryLock(const std::string& path, LockMode mode, int& fd, std::string* reason)
{
    const int access = mode == LockMode::Read ? O_RDONLY : O_RDWR;
    const int operation = mode == LockMode::Read ? LOCK_SH : LOCK_EX;
    // Each pass that finds the file replaced starts again on the new one; a
    // file replaced this often is busy.
    for (int pass = 0; pass < 100; ++pass) {
        do
            fd = ::open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return Attempt::Absent;
            if (reason)
                *reason = std::strerror(errno);
            return unusable(errno) ? Attempt::Unusable : Attempt::Busy;
        }
        // A folder or a pipe opens too, but is no file to read (and a pipe
        // would block the reader): only regular files are shared files.
        struct stat opened { };
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            fd = -1;
            if (reason)
                *reason = S_ISDIR(opened.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
            return Attempt::Unusable;
        }
        // Reads and writes of a regular file never block; the flag is only
        // there so that opening a pipe does not.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        int locked;
        do
            locked = ::flock(fd, operation | LOCK_NB);
        while (locked != 0 && errno == EINTR);
        if (locked == 0 && namesPath(fd, path))
            return Attempt::Locked;
        ::close(fd);
        fd = -1;
        if (locked != 0)
            return Attempt::Busy;
    }
    return Attempt::Busy;
}

void closeLocked(int fd)
{
    ::close(fd); // closing the descriptor releases the lock
}

namespace {

std::string errorText(int error)
{
    return std::strerror(error);
}

bool writeAll(int fd, std::string_view bytes, int& error)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A run as root over a user's folder must leave the files the user's:
// a replaced file keeps its owner, a new one takes the folder's. Others
// cannot give files away, and need not.
void keepOwner(int fd, const struct stat* old, const std::string& path)
{
    if (::geteuid() != 0)
        return;
    struct stat owner { };
    if (old)
        owner = *old;
    else if (::stat(folderOf(path).c_str(), &owner) != 0)
        return;
    if (owner.st_uid != 0 || owner.st_gid != 0)
        (void)::fchown(fd, owner.st_uid, owner.st_gid);
}

// The process that writes a temporary file is named in it; while it lives
// the file may still become the new content.
bool writerGone(std::string_view name)
{
    const auto dash = name.find('-');
    if (dash == std::string_view::npos)
        return false;
    long pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9' || pid > 1 << 22)
            return false;
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// What killed writers of this path left beside it, once per path and
// process: a companion killed mid-write would otherwise leave its
// temporaries for good.
void removeLeftoversOf(const std::string& path)
{
    static std::mutex mutex;
    static std::set<std::string> cleaned;
    {
        const std::lock_guard lock(mutex);
        if (!cleaned.insert(path).second)
            return;
    }
    const std::string folder = folderOf(path);
    const auto slash = path.rfind('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + kUnfinished;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const uid_t self = ::geteuid();
    struct stat folderInfo { };
    const bool ownFolder = ::fstat(::dirfd(dir), &folderInfo) == 0 && folderInfo.st_uid == self;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || !writerGone(name.substr(prefix.size())))
            continue;
        struct stat info { };
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            (info.st_uid == self || ownFolder))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

std::optional<std::string> replaceFileContents(const std::string& path, const FilePieces& next)
{
    // A file-size limit must fail the write, not end the program.
    static const bool ignoringSizeSignal = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignoringSizeSignal;

    removeLeftoversOf(path);
    static std::atomic<unsigned> counter {0};
    const std::string temporary =
        path + kUnfinished + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    // The name itself, never what a link there leads to: the link is
    // replaced, its target left alone.
    struct stat old { };
    const bool hadOld = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errorText(errno);
    int error = 0;
    bool written = true;
    for (std::string_view piece = next(); written && !piece.empty(); piece = next())
        written = writeAll(fd, piece, error);
    if (written && hadOld && ::fchmod(fd, old.st_mode & 07777) != 0)
        written = false, error = errno;
    if (written)
        keepOwner(fd, hadOld ? &old : nullptr, path);
    // The data reaches the disk before the name does.
    if (written && ::fsync(fd) != 0)
        written = false, error = errno;
    if (::close(fd) != 0 && written)
        written = false, error = errno;
    if (written && ::rename(temporary.c_str(), path.c_str()) != 0)
        written = false, error = errno;
    if (!written) {
        ::unlink(temporary.c_str());
        return errorText(error);
    }
    // Then the name. Nothing is left to undo should this fail: the new
    // content is in place either way.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return std::nullopt;
}

int removeUnfinishedReplacements(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    const uid_t self = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        if (!std::strstr(entry->d_name, kUnfinished))
            continue;
        struct stat info { };
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == self && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace corvatek::platform
