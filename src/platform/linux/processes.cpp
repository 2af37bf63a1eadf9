// Processes on Linux. A look at the process list is made often (the monitor
// makes several per tick), so a look reads only each process's kernel name,
// and the command line and state only of the processes whose name matches.
#include "platform/processes.h"
#include "platform/commandline.h"

#include "procscan.h"
#include "searchpath.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvatek::platform {
namespace {

using procfs::kKernelNameLimit;
using procfs::ScannedProcess;

// Whether a live process is named `wanted`.
bool matches(std::string_view wanted, const ScannedProcess& process)
{
    const std::string_view shortName = process.shortName;
    bool named;
    if (shortName.size() < kKernelNameLimit)
        named = sameExecutableName(shortName, wanted);
    else
        named = wanted.size() >= shortName.size() &&
            sameExecutableName(shortName, wanted.substr(0, shortName.size())) &&
            sameExecutableName(procfs::completeName(process), wanted);
    return named && procfs::isLive(process);
}

// Only the user's own processes are stopped: a control centre run by root
// must not end other users' programs. Never the first process, never itself.
bool mayStop(const ScannedProcess& process)
{
    struct stat owner { };
    return process.id != 1 && process.id != static_cast<int>(::getpid()) &&
        ::fstatat(process.procFd, process.idText, &owner, 0) == 0 && owner.st_uid == ::geteuid();
}

} // namespace

std::vector<ProcessEntry> processList()
{
    std::vector<ProcessEntry> list;
    procfs::forEachProcess([&](const ScannedProcess& process) {
        list.push_back({procfs::completeName(process), process.id});
        return true;
    });
    return list;
}

bool isRunning(std::string_view executableName)
{
    if (executableName.empty())
        return false;
    bool found = false;
    procfs::forEachProcess([&](const ScannedProcess& process) {
        found = matches(executableName, process);
        return !found;
    });
    return found;
}

bool terminateByName(std::string_view executableName)
{
    return !executableName.empty() && terminateByNames({std::string(executableName)});
}

bool terminateByNames(const std::vector<std::string>& executableNames)
{
    std::vector<std::vector<int>> found(executableNames.size());
    procfs::forEachProcess([&](const ScannedProcess& process) {
        for (std::size_t i = 0; i < executableNames.size(); ++i) {
            if (!executableNames[i].empty() && matches(executableNames[i], process) && mayStop(process)) {
                found[i].push_back(process.id);
                break;
            }
        }
        return true;
    });
    // Ends as abruptly as a Windows termination: companions must not count
    // on a chance to clean up.
    bool terminated = false;
    for (const auto& ids : found) {
        for (const int id : ids)
            terminated = ::kill(id, SIGKILL) == 0 || terminated;
    }
    return terminated;
}

bool isExecutableFile(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string onSearchPath(const std::string& name)
{
    const char* searchPath = std::getenv("PATH");
    std::string_view rest = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto dir = rest.substr(0, colon);
        if (!dir.empty()) {
            std::string candidate(dir);
            candidate += '/';
            candidate += name;
            if (isExecutableFile(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

std::string resolveExecutable(const std::string& name, const std::string& folder)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return name;
    if (isExecutableFile(folder + name))
        return folder + name;
    std::string found = onSearchPath(name);
    return found.empty() ? name : found;
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

bool shellStart(const std::string& programPath, const std::string& parameters)
{
    return startDetached(programPath, splitCommandLine(parameters));
}

bool consoleStart(const std::string& commandLine, const std::string& folder)
{
    auto words = splitCommandLine(commandLine);
    if (words.empty())
        return false;
    const std::string program = resolveExecutable(words.front(), folder);
    words.erase(words.begin());
    return startDetached(program, words);
}

} // namespace corvatek::platform
