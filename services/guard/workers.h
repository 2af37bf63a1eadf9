// The threads scans run on. Work is queued in order; what it gives back
// waits for the event loop, which a descriptor wakes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvatek::guard {

class Workers {
public:
    explicit Workers(unsigned count);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void submit(std::uint64_t key, std::function<std::string()> work);
    // Readable while finished work waits to be taken.
    int wakeFd() const { return wake_; }
    std::vector<std::pair<std::uint64_t, std::string>> takeFinished();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::pair<std::uint64_t, std::function<std::string()>>> queue_;
    std::vector<std::pair<std::uint64_t, std::string>> finished_;
    bool stopping_ = false;
    int wake_ = -1;
    std::vector<std::thread> threads_;
};

} // namespace corvatek::guard
