// Memory figures on Windows: the machine's memory status and each process's
// working set.
#include "platform/memory.h"

#include "wide.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace corvatek::platform {
namespace {

using windows::Handle;

std::optional<std::uint64_t> workingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(process, &counters, sizeof counters))
        return std::nullopt;
    return std::uint64_t(counters.WorkingSetSize);
}

} // namespace

std::optional<MemoryStatus> memoryStatus()
{
    MEMORYSTATUSEX status {};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status))
        return std::nullopt;
    return MemoryStatus {status.ullTotalPhys, status.ullAvailPhys};
}

std::vector<ProcessMemory> processMemoryList()
{
    std::vector<ProcessMemory> list;
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return list;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        // A process we may not look into (the system's, another user's) is
        // left out, as is one whose counters cannot be read.
        const Handle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID));
        if (!process)
            continue;
        if (const auto bytes = workingSet(process.get()))
            list.push_back({windows::utf8(entry.szExeFile), int(entry.th32ProcessID), *bytes});
    }
    return list;
}

std::optional<std::uint64_t> ownResidentBytes()
{
    return workingSet(::GetCurrentProcess());
}

} // namespace corvatek::platform
