// The in-use test and the shared-file lock on Linux: an open for reading and
// writing plus an exclusive flock, the convention companions follow too.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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

Attempt tryLock(const std::string& path, int& fd, int* openError = nullptr)
{
    do
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Attempt::Absent;
        if (openError)
            *openError = errno;
        return unusable(errno) ? Attempt::Unusable : Attempt::Busy;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        ::close(fd);
        fd = -1;
        return Attempt::Busy;
    }
    return Attempt::Locked;
}

} // namespace

bool fileInUse(const std::string& path)
{
    int fd = -1;
    const Attempt attempt = tryLock(path, fd);
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

std::optional<FileLock> FileLock::tryAcquire(const std::string& path)
{
    int fd = -1;
    const Attempt attempt = tryLock(path, fd);
    if (attempt == Attempt::Busy || attempt == Attempt::Unusable)
        return std::nullopt;
    return FileLock(fd);
}

std::optional<FileLock> FileLock::tryAcquireCreating(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        ::close(fd);
        return std::nullopt;
    }
    return FileLock(fd);
}

FileLock::Outcome FileLock::acquire(
    const std::string& path, std::chrono::milliseconds timeout, const std::function<void()>& betweenTries)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    auto pause = std::chrono::milliseconds(5);
    while (true) {
        int fd = -1;
        int openError = 0;
        switch (tryLock(path, fd, &openError)) {
        case Attempt::Locked:
        case Attempt::Absent: return {FileLock(fd), {}};
        case Attempt::Unusable: return {std::nullopt, std::strerror(openError)};
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
