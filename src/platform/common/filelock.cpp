#include "platform/common/filelock.h"

#include <algorithm>
#include <thread>

namespace corvatek::platform {

bool fileInUse(const std::string& path, LockMode mode)
{
    int fd = -1;
    const Attempt attempt = tryLock(path, mode, fd);
    if (fd >= 0)
        closeLocked(fd);
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
            closeLocked(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock()
{
    if (fd_ >= 0)
        closeLocked(fd_);
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
