// The operating-system services the control centre needs, in plain C++ so
// that each operating system has one backend beside the others and the rest
// of the program never touches the system directly. Text is UTF-8.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::platform {

// ---- Processes --------------------------------------------------------

struct ProcessEntry {
    std::string name; // executable file name, as ps and pgrep show it
    int id = 0;
};

// Every process in the system's list order. A zombie (ended, not yet reaped
// by its parent) may be listed; isRunning never counts one.
std::vector<ProcessEntry> processList();

// ASCII-case-insensitive name comparison used for executable names.
bool sameExecutableName(std::string_view a, std::string_view b);

// True while some live process has this executable name. Reads the system's
// list afresh at every call.
bool isRunning(std::string_view executableName);

// Terminates every process of that name that may be terminated, skipping the
// others and never the calling process itself. True when one was terminated.
bool terminateByName(std::string_view executableName);

// The same for several names with one look at the process list; the names
// are dealt with in the order given. True when one was terminated.
bool terminateByNames(const std::vector<std::string>& executableNames);

// Splits a parameter text into arguments as a Windows program splits its
// command line: blanks separate, double quotes group, backslashes escape a
// double quote. Keeps companions' arguments identical on every system.
std::vector<std::string> splitCommandLine(std::string_view text);

// Starts a program detached: no shell, no inherited descriptors, standard
// streams on the null device, a session of its own, never left as a zombie.
// Returns whether the program could be started; never waits for it.
bool startDetached(const std::string& programPath, const std::vector<std::string>& arguments);

// Finds an executable by bare name: first in `folder`, then on the search
// path. Returns the name unchanged when nothing is found.
std::string resolveExecutable(const std::string& name, const std::string& folder);

// The system's network statistics tool, stopped with the companions when the
// control centre ends.
std::string networkStatisticsToolName();

// ---- Files ------------------------------------------------------------

// A file is in use when it exists and cannot be opened for reading and
// writing, or another process holds an exclusive lock on it.
bool fileInUse(const std::string& path);

// An exclusive advisory lock held on an existing file for the lifetime of the
// object. Companions take the same lock while they read or write a shared
// file, so holding it is what makes the file "in use" for them.
class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Tries once. An absent file yields a lock that holds nothing and counts
    // as acquired: there is nobody to coordinate with.
    static std::optional<FileLock> tryAcquire(const std::string& path);

    // Creates the file when it is absent, then tries once.
    static std::optional<FileLock> tryAcquireCreating(const std::string& path);

    struct Outcome;
    // Retries until the file is free or `timeout` has passed, calling
    // `betweenTries` while it waits (a window keeps itself painted there).
    // A file that cannot be opened at all ends the wait at once.
    static Outcome acquire(
        const std::string& path, std::chrono::milliseconds timeout, const std::function<void()>& betweenTries = {});

    // The descriptor of the locked file, or -1 when the file did not exist.
    int descriptor() const { return fd_; }

private:
    explicit FileLock(int fd) : fd_(fd) { }
    int fd_ = -1;
};

struct FileLock::Outcome {
    std::optional<FileLock> lock;
    // Without a lock: empty when the file stayed in use past the wait, else
    // why it cannot be opened at all (a folder in its place, no permission),
    // which no wait would change.
    std::string unusable;
};

// ---- This user's session ----------------------------------------------

// A folder private to the user for the session's locks and sockets (the
// runtime folder, or the temporary folder when there is none).
std::string runtimeFolder();

// The path of the user's socket for the instance called `name`.
std::string instanceSocketPath(const std::string& name);

// Held for the life of the process by the one instance of `name` that runs
// for this user; nothing when another process holds it. The system drops it
// when the process ends, however it ends.
std::optional<FileLock> acquireInstanceLock(const std::string& name);

// A local message channel for the user: the one instance listens, later
// starts and companions send it one line each. listenLocal returns a
// listening descriptor (-1 on failure), replacing a stale socket at `path`;
// acceptLocalMessages reads whatever lines pending connections brought.
int listenLocal(const std::string& path);
std::vector<std::string> acceptLocalMessages(int listener);
bool sendLocalMessage(const std::string& path, const std::string& line);

// Turns the requests to end the program that the system or the user send
// (on Linux SIGTERM, SIGHUP, SIGINT) into a byte on the returned descriptor,
// so that the window thread can end in order. -1 when it cannot.
int terminationRequests();
// Takes the pending requests off that descriptor once they are handled.
void clearTerminationRequests();

// The command of the user's autostart entry `name`; empty when there is none.
std::string autostartCommand(const std::string& name);
// Makes the user's autostart entry `name` run `command` (a program path) at
// log-on. Other settings of an existing entry are kept.
bool setAutostartCommand(const std::string& name, const std::string& command);

// ---- This program and this machine -----------------------------------

// Folder of the running executable, ending with a path separator.
std::string programFolder();

// The machine's host name, or nothing when the system will not tell.
std::optional<std::string> hostName();

// The first IPv4 address the name resolves to, as four decimal bytes joined
// by ".", or nothing when it does not resolve.
std::optional<std::string> firstIPv4Address(const std::string& host);

} // namespace corvatek::platform
