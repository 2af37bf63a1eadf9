// The in-use test and the shared-file lock on Linux: flock on the open file,
// shared to read and exclusive to write, the convention companions follow
// too.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvatek::platform {
namespace {

enum class Attempt { Locked, Absent, Busy, Unusable };

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

Attempt tryLock(const std::string& path, LockMode mode, int& fd, std::string* reason = nullptr)
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

} // namespace

bool fileInUse(const std::string& path, LockMode mode)
{
    int fd = -1;
    const Attempt attempt = tryLock(path, mode, fd);
    if (fd >= 0)
        ::close(fd); // closing the descriptor releases the lock
    return attempt == Attempt::Busy || attempt == Attempt::Unusable;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_)
{
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<FileLock> FileLock::tryAcquire(const std::string& path, LockMode mode)
{
    int fd = -1;
    const Attempt attempt = tryLock(path, mode, fd);
    if (attempt == Attempt::Busy || attempt == Attempt::Unusable)
        return std::nullopt;
    return FileLock(fd);
}

FileLock::Outcome FileLock::acquire(const std::string& path, LockMode mode, std::chrono::milliseconds timeout,
    const std::function<void()>& betweenTries)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    auto pause = std::chrono::milliseconds(5);
    while (true) {
        int fd = -1;
        std::string reason;
        switch (tryLock(path, mode, fd, &reason)) {
        case Attempt::Locked:
        case Attempt::Absent: return {FileLock(fd), {}};
        case Attempt::Unusable: return {std::nullopt, reason};
        case Attempt::Busy: break;
        }
        if (Clock::now() >= deadline)
            return {};
        if (betweenTries)
            betweenTries();
        std::this_thread::sleep_for(std::min(pause,
            std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now() + std::chrono::milliseconds(1))));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

} // namespace corvatek::platform
