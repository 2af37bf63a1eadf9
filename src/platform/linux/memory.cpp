// Memory figures on Linux: /proc/meminfo for the machine, and each process's
// resident set (its working set) from the one stat line it already has.
#include "platform/memory.h"

#include "procscan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

ssize_t readWhole(int dirFd, const char* path, char* buffer, std::size_t size)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    for (ssize_t n;
         std::size_t(total) < size - 1 && (n = ::read(fd, buffer + total, size - 1 - std::size_t(total))) > 0;)
        total += n;
    ::close(fd);
    buffer[total] = '\0';
    return total;
}

std::uint64_t pageBytes()
{
    static const std::uint64_t bytes = std::uint64_t(::sysconf(_SC_PAGESIZE));
    return bytes;
}

// A meminfo figure ("MemTotal:  16316412 kB") in bytes.
std::optional<std::uint64_t> meminfoBytes(const char* text, const char* key)
{
    const char* line = std::strstr(text, key);
    if (!line)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long long kilobytes = std::strtoull(line + std::strlen(key), &end, 10);
    if (end == line + std::strlen(key))
        return std::nullopt;
    return std::uint64_t(kilobytes) * 1024;
}

} // namespace

std::optional<MemoryStatus> memoryStatus()
{
    char text[8192];
    if (readWhole(AT_FDCWD, "/proc/meminfo", text, sizeof text) <= 0)
        return std::nullopt;
    const auto total = meminfoBytes(text, "MemTotal:");
    auto available = meminfoBytes(text, "MemAvailable:");
    if (!available) // kernels before 3.14
        available = meminfoBytes(text, "MemFree:");
    if (!total || !available)
        return std::nullopt;
    return MemoryStatus {*total, *available};
}

std::vector<ProcessMemory> processMemoryList()
{
    std::vector<ProcessMemory> list;
    procfs::forEachProcess([&](const procfs::ScannedProcess& process) {
        char path[300];
        std::snprintf(path, sizeof path, "%s/stat", process.idText);
        char line[1024];
        if (readWhole(process.procFd, path, line, sizeof line) <= 0)
            return true; // gone meanwhile
        // "<id> (<name>) <state> <ppid> ..." with the resident pages as the
        // 24th field; the name may hold ")" and blanks.
        const char* field = std::strrchr(line, ')');
        if (!field || field[1] != ' ')
            return true;
        const char state = field[2];
        if (state == 'Z' || state == 'X' || state == 'x')
            return true;
        field += 2;
        const auto next = [&field](int count) {
            for (int skip = 0; skip < count && field; ++skip) {
                field = std::strchr(field, ' ');
                if (field)
                    ++field;
            }
            return field != nullptr;
        };
        // Kernel threads run no program and hold no memory of their own.
        constexpr unsigned long kKernelThread = 0x00200000;
        if (!next(6) || (std::strtoul(field, nullptr, 10) & kKernelThread) || !next(15))
            return true;
        const long long pages = std::strtoll(field, nullptr, 10);
        list.push_back({procfs::completeName(process), process.id, pages > 0 ? std::uint64_t(pages) * pageBytes() : 0});
        return true;
    });
    return list;
}

std::optional<std::uint64_t> ownResidentBytes()
{
    char text[256];
    if (readWhole(AT_FDCWD, "/proc/self/statm", text, sizeof text) <= 0)
        return std::nullopt;
    unsigned long long size = 0;
    unsigned long long resident = 0;
    if (std::sscanf(text, "%llu %llu", &size, &resident) != 2)
        return std::nullopt;
    return std::uint64_t(resident) * pageBytes();
}

} // namespace corvatek::platform
