#include "workers.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace corvatek::guard {

Workers::Workers(unsigned count) : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    for (unsigned i = 0; i < count; ++i)
        threads_.emplace_back([this] { run(); });
}

Workers::~Workers()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    ::close(wake_);
}

void Workers::submit(std::uint64_t key, std::function<std::string()> work)
{
    {
        const std::lock_guard lock(mutex_);
        queue_.emplace_back(key, std::move(work));
    }
    queued_.notify_one();
}

std::vector<std::pair<std::uint64_t, std::string>> Workers::takeFinished()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_, &count, sizeof count);
    const std::lock_guard lock(mutex_);
    return std::exchange(finished_, {});
}

void Workers::run()
{
    for (;;) {
        std::pair<std::uint64_t, std::function<std::string()>> job;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        std::string result = job.second();
        {
            const std::lock_guard lock(mutex_);
            finished_.emplace_back(job.first, std::move(result));
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }
}

} // namespace corvatek::guard
