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
#include <sys/stat.h>
#include <sys/wait.h>
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
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(programPath.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;

    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (intermediate == 0) {
        // The intermediate child ends at once, so the program is adopted by
        // the system and can never linger as our zombie.
        ::setsid();
        const pid_t program = ::fork();
        if (program != 0) {
            if (program < 0) {
                const int error = errno;
                [[maybe_unused]] auto ignored = ::write(report[1], &error, sizeof error);
            }
            ::_exit(0);
        }
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
            for (int fd = 3; fd < 4096; ++fd)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signal = 1; signal < NSIG; ++signal)
            ::signal(signal, SIG_DFL);
        ::execv(programPath.c_str(), argv.data());
        const int error = errno;
        [[maybe_unused]] auto ignored = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }

    ::close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) { }
    return n == 0;
}

} // namespace corvatek::platform
