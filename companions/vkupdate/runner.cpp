// freshclam runs under the first process of a process namespace of its
// own, which dies with this process and takes the namespace with it. Where
// the system allows no namespace, this process is the subreaper of all
// below it and kills them by their parent chains.
#include "runner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace corvatek::update {
namespace {

using Clock = std::chrono::steady_clock;

// Between asking what runs to end and killing it.
constexpr std::chrono::seconds kGrace {5};
// Only the end of what freshclam says is told.
constexpr std::size_t kOutputKept = 64 * 1024;

int millisecondsUntil(Clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 1000));
}

bool writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

// Signals and children's ends reach the wait loop through this pipe, as a
// byte holding the signal's number.
int wakeUp[2] = {-1, -1};
const int kCaught[] = {SIGTERM, SIGINT, SIGHUP, SIGCHLD};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    (void)!::write(wakeUp[1], &byte, 1);
    errno = saved;
}

sigset_t caughtSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : kCaught)
        sigaddset(&set, number);
    return set;
}

// In a process made for the run, before the signals are let through again:
// this process's handlers would write into its pipe.
void forgetSignals()
{
    for (const int number : kCaught)
        ::signal(number, SIG_DFL);
    ::close(wakeUp[0]);
    ::close(wakeUp[1]);
    const sigset_t set = caughtSet();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

struct Launch {
    const char* program;
    char* const* argv;
    int output; // write end of the output pipe
    int report[2]; // how freshclam ended, from the namespace's first process
    uid_t user;
    gid_t group;
    bool ownUsers; // a user namespace too, as an ordinary user needs one
};

// The namespace's first process runs on a stack of clone's making, which
// AddressSanitizer cannot follow into a call that never returns.
#define ON_CLONED_STACK __attribute__((no_sanitize("address")))

[[noreturn]] ON_CLONED_STACK void execute(const Launch& launch)
{
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(launch.output, 1) < 0 || ::dup2(launch.output, 2) < 0)
        ::_exit(127);
    ::execv(launch.program, launch.argv);
    ::_exit(127);
}

bool writeText(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && writeAll(fd, text.data(), text.size());
    if (fd >= 0)
        ::close(fd);
    return written;
}

// Process 1 of the namespace: starts freshclam, reaps what is orphaned in
// there, and reports how freshclam ended. Signals other than SIGKILL do not
// reach it, so asking everything to end leaves it to report.
ON_CLONED_STACK int firstProcess(void* argument)
{
    const Launch& launch = *static_cast<const Launch*>(argument);
    forgetSignals();
    ::close(launch.report[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Should vkupdate.exe have died before that, nobody reads the report.
    pollfd report {launch.report[1], POLLOUT, 0};
    if (::poll(&report, 1, 0) != 1 || (report.revents & POLLERR))
        ::_exit(127);
    if (launch.ownUsers &&
        (!writeText("/proc/self/setgroups", "deny") ||
            !writeText(
                "/proc/self/uid_map", std::to_string(launch.user) + ' ' + std::to_string(launch.user) + " 1\n") ||
            !writeText(
                "/proc/self/gid_map", std::to_string(launch.group) + ' ' + std::to_string(launch.group) + " 1\n")))
        ::_exit(127);
    const pid_t freshclam = ::fork();
    if (freshclam < 0)
        ::_exit(127);
    if (freshclam == 0) {
        ::close(launch.report[1]);
        execute(launch);
    }
    int status = 0;
    for (;;) {
        int ended = 0;
        const pid_t who = ::wait(&ended);
        if (who == freshclam) {
            status = ended;
            break;
        }
        if (who < 0 && errno != EINTR)
            ::_exit(127);
    }
    (void)!::write(launch.report[1], &status, sizeof status);
    ::_exit(0);
}

// Starts the run; its process id, or -1. `inNamespace` says which way.
pid_t start(Launch& launch, bool* inNamespace)
{
    alignas(16) static char stack[256 * 1024];
    launch.user = ::geteuid();
    launch.group = ::getegid();
    launch.ownUsers = launch.user != 0;
    const sigset_t caught = caughtSet();
    sigset_t before;
    ::sigprocmask(SIG_BLOCK, &caught, &before);
    const int flags = CLONE_NEWPID | (launch.ownUsers ? CLONE_NEWUSER : 0) | SIGCHLD;
    pid_t child = ::clone(firstProcess, stack + sizeof stack, flags, &launch);
    *inNamespace = child > 0;
    if (child < 0) { // namespaces not allowed here
        const pid_t parent = ::getpid();
        child = ::fork();
        if (child == 0) {
            forgetSignals();
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            execute(launch);
        }
    }
    const int error = errno;
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return child;
}

// The live processes below this one. As their subreaper it inherits every
// orphan below it, so no parent chain breaks before reaching it.
std::vector<pid_t> descendants()
{
    std::unordered_map<pid_t, pid_t> parentOf;
    std::vector<pid_t> live;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(proc)) {
            char* end = nullptr;
            const long id = std::strtol(entry->d_name, &end, 10);
            if (id <= 0 || *end)
                continue;
            char path[64];
            std::snprintf(path, sizeof path, "/proc/%ld/stat", id);
            char text[512];
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            const ssize_t n = fd < 0 ? -1 : ::read(fd, text, sizeof text - 1);
            if (fd >= 0)
                ::close(fd);
            if (n <= 0)
                continue;
            text[n] = 0;
            // The name in parentheses may hold anything, ")" included.
            const char* after = std::strrchr(text, ')');
            char state = 0;
            int parent = 0;
            if (!after || std::sscanf(after + 1, " %c %d", &state, &parent) != 2)
                continue;
            parentOf[pid_t(id)] = parent;
            if (state != 'Z' && state != 'X')
                live.push_back(pid_t(id));
        }
        ::closedir(proc);
    }
    const pid_t self = ::getpid();
    std::vector<pid_t> below;
    for (const pid_t id : live) {
        pid_t up = id;
        for (std::size_t steps = 0; up > 1 && up != self && steps < parentOf.size(); ++steps) {
            const auto found = parentOf.find(up);
            up = found == parentOf.end() ? 0 : found->second;
        }
        if (up == self && id != self)
            below.push_back(id);
    }
    return below;
}

void signalAll(int number)
{
    for (const pid_t id : descendants())
        ::kill(id, number);
}

// Reaps whatever ended; true once `child` did, its status then in `status`.
bool reap(pid_t child, int* status, bool* childEnded)
{
    int ended = 0;
    for (pid_t who; (who = ::waitpid(-1, &ended, WNOHANG)) > 0;) {
        if (who == child) {
            *status = ended;
            *childEnded = true;
        }
    }
    return *childEnded;
}

// Kills what is left, again and again, so that what forks meanwhile is
// caught too.
void endAll(pid_t child, int* status, bool* childEnded)
{
    for (int pass = 0; pass < 100; ++pass) {
        const std::vector<pid_t> left = descendants();
        if (left.empty())
            return;
        for (const pid_t id : left)
            ::kill(id, SIGKILL);
        ::usleep(20 * 1000);
        reap(child, status, childEnded);
    }
}


void keepEnd(std::string& output)
{
    if (output.size() > kOutputKept)
        output.erase(0, output.size() - kOutputKept);
}

// False at the end of the output.
bool readSome(int fd, Outcome& outcome)
{
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        outcome.output.append(buffer, std::size_t(n));
        keepEnd(outcome.output);
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

} // namespace

bool catchSignals()
{
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    for (const int number : kCaught)
        ::sigaction(number, &action, nullptr);
    return true;
}

// Runs the program with its output read into the outcome; asks all it
// started to end (SIGTERM, then SIGKILL after the grace) when it runs past
// `limit` or this process is told to stop, and kills what is left at its end.
Outcome runLimited(const std::string& program, const std::vector<std::string>& arguments, std::chrono::seconds limit)
{
    Outcome outcome;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int output[2];
    Launch launch {program.c_str(), argv.data(), -1, {-1, -1}, 0, 0, false};
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(launch.report, O_CLOEXEC) != 0) {
        outcome.error = std::strerror(errno);
        return outcome;
    }
    launch.output = output[1];
    bool inNamespace = false;
    const pid_t child = start(launch, &inNamespace);
    const int startError = errno;
    ::close(output[1]);
    ::close(launch.report[1]);
    if (child < 0) {
        outcome.error = std::strerror(startError);
        ::close(output[0]);
        ::close(launch.report[0]);
        return outcome;
    }
    outcome.started = true;
    const Clock::time_point deadline = Clock::now() + limit;
    std::optional<Clock::time_point> killAt;
    const auto stop = [&killAt] {
        if (!killAt) {
            signalAll(SIGTERM);
            killAt = Clock::now() + kGrace;
        }
    };
    int status = 0;
    bool ended = false;
    bool open = true;
    while (!reap(child, &status, &ended)) {
        pollfd ready[2] {{open ? output[0] : -1, POLLIN, 0}, {wakeUp[0], POLLIN, 0}};
        // Woken at least every second, and often while what is killed dies.
        const int wait = killAt && Clock::now() >= *killAt ? 50 : millisecondsUntil(killAt ? *killAt : deadline);
        if (::poll(ready, 2, wait) > 0) {
            if (ready[0].revents)
                open = readSome(output[0], outcome);
            char bytes[64];
            for (ssize_t n = ::read(wakeUp[0], bytes, sizeof bytes), i = 0; i < n; ++i) {
                if (bytes[i] != SIGCHLD && !outcome.told) {
                    outcome.told = bytes[i];
                    stop();
                }
            }
        }
        if (!killAt && Clock::now() >= deadline) {
            outcome.stopped = true;
            stop();
        }
        if (killAt && Clock::now() >= *killAt && !reap(child, &status, &ended))
            signalAll(SIGKILL);
    }
    endAll(child, &status, &ended);
    // All that held the output is gone: the rest of it is there to read.
    for (pollfd rest {output[0], POLLIN, 0}; open && ::poll(&rest, 1, 500) > 0;)
        open = readSome(output[0], outcome);
    ::close(output[0]);
    if (inNamespace) {
        int reported = 0;
        if (::read(launch.report[0], &reported, sizeof reported) == ssize_t(sizeof reported))
            status = reported;
    }
    ::close(launch.report[0]);
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    return outcome;
}

} // namespace corvatek::update
