// Processes on Linux, read from procfs. A look at the list is made often (the
// monitor does several per tick), so each process costs one small read of
// /proc/<id>/stat, plus /proc/<id>/cmdline only when the kernel's name was cut.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvatek::platform {
namespace {

// The kernel keeps at most this many characters of a program's name.
constexpr std::size_t kKernelNameLimit = 15;

struct ProcEntry {
    int id;
    std::string_view shortName; // into the caller's buffer
};

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

ssize_t readSmallFile(int dirFd, const char* path, char* buffer, std::size_t size)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<std::size_t>(total) < size) {
        const ssize_t n = ::read(fd, buffer + total, size - static_cast<std::size_t>(total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

// Short name and state from /proc/<id>/stat: "<id> (<name>) <state> ...".
// The name may itself hold ")" and blanks, so the last ")" ends it.
bool readStat(int procFd, const char* id, char* buffer, std::size_t size, std::string_view& name, char& state)
{
    char path[32];
    std::snprintf(path, sizeof path, "%s/stat", id);
    const ssize_t n = readSmallFile(procFd, path, buffer, size);
    if (n <= 0)
        return false;
    const std::string_view text(buffer, static_cast<std::size_t>(n));
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open || close + 2 >= text.size())
        return false;
    name = text.substr(open + 1, close - open - 1);
    state = text[close + 2];
    return true;
}

std::string_view baseName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Completes a name the kernel cut at 15 characters from the command line, as
// killall does: argv[0] for a program, argv[1] for a script run through its
// interpreter.
std::string completeName(int procFd, const char* id, std::string_view shortName)
{
    char path[32];
    std::snprintf(path, sizeof path, "%s/cmdline", id);
    char buffer[4096];
    const ssize_t n = readSmallFile(procFd, path, buffer, sizeof buffer);
    if (n > 0) {
        const std::string_view all(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (int argument = 0; argument < 2 && start < all.size(); ++argument) {
            auto end = all.find('\0', start);
            if (end == std::string_view::npos)
                end = all.size();
            const auto candidate = baseName(all.substr(start, end - start));
            if (candidate.size() > shortName.size() && candidate.substr(0, shortName.size()) == shortName)
                return std::string(candidate);
            start = end + 1;
        }
    }
    return std::string(shortName);
}

bool isLive(char state)
{
    return state != 'Z' && state != 'X' && state != 'x';
}

// Calls `visit(id, idText, shortName)` for every live process; stops when
// `visit` returns false.
template<typename Visit> void forEachProcess(Visit&& visit)
{
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return;
    DIR* dir = ::fdopendir(procFd);
    if (!dir) {
        ::close(procFd);
        return;
    }
    char buffer[512];
    while (const dirent* entry = ::readdir(dir)) {
        if (!isDigits(entry->d_name))
            continue;
        std::string_view name;
        char state = 0;
        if (!readStat(procFd, entry->d_name, buffer, sizeof buffer, name, state) || !isLive(state))
            continue;
        if (!visit(std::atoi(entry->d_name), entry->d_name, name, procFd))
            break;
    }
    ::closedir(dir);
}

// Whether a process whose kernel name is `shortName` has the executable
// name `wanted`; reads the command line only when the kernel's name was cut.
bool matches(std::string_view wanted, std::string_view shortName, int procFd, const char* id)
{
    if (shortName.size() < kKernelNameLimit)
        return sameExecutableName(shortName, wanted);
    if (wanted.size() < shortName.size() || !sameExecutableName(shortName, wanted.substr(0, shortName.size())))
        return false;
    return sameExecutableName(completeName(procFd, id, shortName), wanted);
}

} // namespace

std::vector<ProcessEntry> processList()
{
    std::vector<ProcessEntry> list;
    forEachProcess([&](int id, const char* idText, std::string_view shortName, int procFd) {
        std::string name =
            shortName.size() >= kKernelNameLimit ? completeName(procFd, idText, shortName) : std::string(shortName);
        list.push_back({std::move(name), id});
        return true;
    });
    return list;
}

bool isRunning(std::string_view executableName)
{
    if (executableName.empty())
        return false;
    bool found = false;
    forEachProcess([&](int, const char* idText, std::string_view shortName, int procFd) {
        found = matches(executableName, shortName, procFd, idText);
        return !found;
    });
    return found;
}

bool terminateByName(std::string_view executableName)
{
    if (executableName.empty())
        return false;
    const int self = static_cast<int>(::getpid());
    bool terminated = false;
    forEachProcess([&](int id, const char* idText, std::string_view shortName, int procFd) {
        // Ends as abruptly as a Windows termination: companions must not count
        // on a chance to clean up.
        if (id != self && matches(executableName, shortName, procFd, idText) && ::kill(id, SIGKILL) == 0)
            terminated = true;
        return true;
    });
    return terminated;
}

void terminateByNames(const std::vector<std::string>& executableNames)
{
    const int self = static_cast<int>(::getpid());
    std::vector<std::vector<int>> found(executableNames.size());
    forEachProcess([&](int id, const char* idText, std::string_view shortName, int procFd) {
        for (std::size_t i = 0; i < executableNames.size(); ++i) {
            if (id != self && !executableNames[i].empty() && matches(executableNames[i], shortName, procFd, idText)) {
                found[i].push_back(id);
                break;
            }
        }
        return true;
    });
    for (const auto& ids : found) {
        for (const int id : ids)
            ::kill(id, SIGKILL);
    }
}

int currentProcessId()
{
    return static_cast<int>(::getpid());
}

std::string resolveExecutable(const std::string& name, const std::string& folder)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return name;
    const auto executable = [](const std::string& path) {
        struct stat info { };
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
    };
    if (executable(folder + name))
        return folder + name;
    const char* searchPath = std::getenv("PATH");
    std::string_view rest = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto dir = rest.substr(0, colon);
        if (!dir.empty()) {
            std::string candidate(dir);
            candidate += '/';
            candidate += name;
            if (executable(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return name;
}

bool startDetached(const std::string& programPath, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(programPath.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (const int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    // A session of its own: the companion outlives the control centre.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    const int error = ::posix_spawn(&child, programPath.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return false;
    // Reaped the moment it ends, so it never lingers as a zombie; the thread
    // costs nothing while it waits.
    std::thread([child] {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    }).detach();
    return true;
}

} // namespace corvatek::platform
