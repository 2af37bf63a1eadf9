// Memory figures of the machine and of its processes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::platform {

struct MemoryStatus {
    std::uint64_t totalBytes = 0; // physical memory
    std::uint64_t availableBytes = 0; // physical memory free for new work
};
std::optional<MemoryStatus> memoryStatus();

struct ProcessMemory {
    std::string name; // as processList names it
    int id = 0;
    std::uint64_t residentBytes = 0; // the working set
};

// Every live process whose memory can be read, in the system's list order;
// on Linux no kernel thread (they run no program).
std::vector<ProcessMemory> processMemoryList();

// The resident memory of this process, or nothing when it cannot be read.
std::optional<std::uint64_t> ownResidentBytes();

} // namespace corvatek::platform
