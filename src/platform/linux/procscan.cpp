#include "procscan.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <unordered_map>

namespace corvatek::platform::procfs {
namespace {

// Kept well below the usual limit of 1024 descriptors, so that the rest of
// the program never gets descriptors that select() could not take.
constexpr std::size_t kMaxKeptDescriptors = 640;

bool isDigits(const char* s)
{
    if (*s == '\0')
        return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9')
            return false;
    }
    return true;
}

ssize_t readAt(int fd, char* buffer, std::size_t size)
{
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t readSmallFile(int dirFd, const char* path, char* buffer, std::size_t size)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t n = readAt(fd, buffer, size);
    ::close(fd);
    return n;
}

std::string_view baseName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

class Scanner {
public:
    void forEach(const std::function<bool(const ScannedProcess&)>& visit)
    {
        const std::lock_guard guard(mutex_);
        if (procFd_ < 0 && !open())
            return;
        ::rewinddir(dir_);
        ++generation_;
        char name[64];
        while (const dirent* entry = ::readdir(dir_)) {
            if (!isDigits(entry->d_name))
                continue;
            const int id = std::atoi(entry->d_name);
            const ssize_t n = readName(id, entry->d_name, name, sizeof name);
            if (n <= 0)
                continue;
            std::string_view shortName(name, std::size_t(n));
            if (!shortName.empty() && shortName.back() == '\n')
                shortName.remove_suffix(1);
            if (!visit({id, entry->d_name, shortName, procFd_}))
                return; // a look cut short has not seen who went
        }
        forgetGone();
    }

private:
    struct Kept {
        int fd;
        unsigned seen;
    };

    bool open()
    {
        const int fd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const int listing = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        dir_ = listing >= 0 ? ::fdopendir(listing) : nullptr;
        if (!dir_) {
            if (listing >= 0)
                ::close(listing);
            ::close(fd);
            return false;
        }
        procFd_ = fd;
        return true;
    }

    ssize_t readName(int id, const char* idText, char* buffer, std::size_t size)
    {
        const auto kept = kept_.find(id);
        if (kept != kept_.end()) {
            const ssize_t n = readAt(kept->second.fd, buffer, size);
            if (n > 0) {
                kept->second.seen = generation_;
                return n;
            }
            // The process went, perhaps leaving its id to a new one.
            ::close(kept->second.fd);
            kept_.erase(kept);
        }
        char path[300];
        std::snprintf(path, sizeof path, "%s/comm", idText);
        const int fd = ::openat(procFd_, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        const ssize_t n = readAt(fd, buffer, size);
        if (n > 0 && kept_.size() < kMaxKeptDescriptors)
            kept_.emplace(id, Kept {fd, generation_});
        else
            ::close(fd);
        return n;
    }

    void forgetGone()
    {
        for (auto it = kept_.begin(); it != kept_.end();) {
            if (it->second.seen != generation_) {
                ::close(it->second.fd);
                it = kept_.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::mutex mutex_;
    int procFd_ = -1;
    DIR* dir_ = nullptr;
    unsigned generation_ = 0;
    std::unordered_map<int, Kept> kept_;
};

Scanner& scanner()
{
    static auto* instance = new Scanner; // lives as long as the process
    return *instance;
}

} // namespace

void forEachProcess(const std::function<bool(const ScannedProcess&)>& visit)
{
    scanner().forEach(visit);
}

bool isLive(const ScannedProcess& process)
{
    char path[300];
    std::snprintf(path, sizeof path, "%s/stat", process.idText);
    char buffer[512];
    const ssize_t n = readSmallFile(process.procFd, path, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    // "<id> (<name>) <state> ...": the name may hold ")" and blanks.
    const std::string_view text(buffer, std::size_t(n));
    const auto close = text.rfind(')');
    if (close == std::string_view::npos || close + 2 >= text.size())
        return false;
    const char state = text[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

std::string completeName(const ScannedProcess& process)
{
    if (process.shortName.size() < kKernelNameLimit)
        return std::string(process.shortName);
    char path[300];
    std::snprintf(path, sizeof path, "%s/cmdline", process.idText);
    char buffer[4096];
    const ssize_t n = readSmallFile(process.procFd, path, buffer, sizeof buffer);
    if (n > 0) {
        const std::string_view all(buffer, std::size_t(n));
        std::size_t start = 0;
        for (int argument = 0; argument < 2 && start < all.size(); ++argument) {
            auto end = all.find('\0', start);
            if (end == std::string_view::npos)
                end = all.size();
            const auto candidate = baseName(all.substr(start, end - start));
            if (candidate.size() > process.shortName.size() &&
                candidate.substr(0, process.shortName.size()) == process.shortName)
                return std::string(candidate);
            start = end + 1;
        }
    }
    return std::string(process.shortName);
}

} // namespace corvatek::platform::procfs
