// One look at the process list, as cheap as procfs allows: each process's
// kernel name is read through a descriptor kept open between looks, so a look
// costs one read per process instead of a path lookup, an open and a close.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvatek::platform::procfs {

struct ScannedProcess {
    int id;
    const char* idText; // the id as its /proc entry names it
    std::string_view shortName; // the kernel's name, cut at 15 characters
    int procFd; // /proc, for reading more about the process
};

// The kernel keeps at most this many characters of a program's name.
inline constexpr std::size_t kKernelNameLimit = 15;

// Visits every process, zombies included, until `visit` returns false.
void forEachProcess(const std::function<bool(const ScannedProcess&)>& visit);

// False for a zombie or a process that has gone.
bool isLive(const ScannedProcess& process);

// The full name of a process: its kernel name or, where the kernel cut it,
// that name completed from its command line as killall does: argv[0] for a
// program, argv[1] for a script run through its interpreter.
std::string completeName(const ScannedProcess& process);

} // namespace corvatek::platform::procfs
