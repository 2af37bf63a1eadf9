// On-access checking through fanotify. Opens and runs on the marked file
// systems wait for a scan, at most the open deadline, then go through;
// files are scanned after they are written, their writer never held up.
// Readers take one event at a time and scan it themselves, so an open costs
// one wake-up; a watchdog answers what passed its deadline, and reads the
// events while every reader is busy. None of these threads opens a file on
// a marked file system, so that no open of the service's own (the loop
// reading the password database, a temporary file of libclamav) ever waits
// on itself.
#pragma once

#include "scanning/engine.h"
#include "scanning/guardprotocol.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

namespace corvatek::guard {

enum class Access { Run, Open, Written };

// Whether an access is to be checked, given the user of the process and the
// owner of the file. Asked on the on-access thread: it must not open files.
using Wanted = std::function<bool(Access access, uid_t opener, uid_t owner, std::string_view path)>;

// A file system to mark: a path on it, and what to report.
struct Mark {
    std::string path;
    std::uint64_t mask = 0; // FAN_OPEN_EXEC_PERM, FAN_OPEN_PERM, FAN_CLOSE_WRITE
};

// What was found or run for the first time, and who it concerns.
struct Finding {
    scanning::guard::Event event;
    uid_t opener = uid_t(-1);
    uid_t owner = uid_t(-1);
};

class OnAccess {
public:
    OnAccess(unsigned readers, std::chrono::milliseconds openDeadline, Wanted wanted);
    ~OnAccess();
    OnAccess(const OnAccess&) = delete;
    OnAccess& operator=(const OnAccess&) = delete;

    // Makes the fanotify group and starts answering; false, with why, when
    // the kernel or the service's rights do not allow it.
    bool start(std::string& why);
    bool started() const { return fanotify_ >= 0; }

    // The scans use the engine given last; none lets everything through.
    // A new engine forgets which files were clean.
    void setEngine(std::shared_ptr<const scanning::Engine> engine);
    // The file systems marked from now on, by device; those no longer named
    // are unmarked. Warnings for marks that failed are added to `problems`.
    void setMarks(const std::map<dev_t, Mark>& marks, std::vector<std::string>& problems);

    // Readable while findings wait to be taken.
    int findingsFd() const { return found_; }
    std::vector<Finding> takeFindings();

private:
    struct Pending {
        ~Pending();
        int fd = -1;
        pid_t pid = 0;
        Access access = Access::Open;
        std::chrono::steady_clock::time_point deadline {};
        std::shared_ptr<const scanning::Engine> engine;
        std::uint64_t generation = 0; // of that engine
        std::int64_t modified = 0;
        uid_t owner = uid_t(-1);
        // Under the mutex: the kernel's answer, and what is read of the
        // opener, which waits for that answer, only when it is needed.
        bool answered = false;
        bool described = false;
        uid_t opener = uid_t(-1);
        std::string path;
        std::string program;
    };
    using Shared = std::shared_ptr<Pending>;

    void read();
    void watch();
    // Takes the event: answers it at once when it is not to be scanned,
    // else what to scan.
    Shared take(int fd, std::uint64_t mask, pid_t pid);
    Shared readOne();
    void scan(const Shared& pending);
    void describe(Pending& pending); // under the mutex
    void expire();
    void respond(int fd, bool allow);
    void tell(Finding finding);

    const unsigned readerCount_;
    const pid_t self_ = ::getpid();
    const std::chrono::milliseconds openDeadline_;
    const Wanted wanted_;
    int fanotify_ = -1;
    int stop_ = -1;
    int found_ = -1;
    int saturated_ = -1; // written when the last free reader starts a scan
    int queuedFd_ = -1; // readable while the watchdog has queued events
    std::vector<std::thread> threads_;

    std::mutex engineMutex_;
    std::shared_ptr<const scanning::Engine> engine_;
    std::uint64_t generation_ = 0; // counts the engines given

    std::map<dev_t, Mark> marked_; // the loop's alone

    std::mutex mutex_;
    std::vector<Shared> waiting_; // the deadline's watch: accesses not answered yet
    std::deque<Shared> queued_; // read by the watchdog, for the next free reader
    unsigned busy_ = 0; // readers scanning
    std::uint64_t unscanned_ = 0; // let through unscanned while too many waited
    std::chrono::steady_clock::time_point toldUnscanned_ {};

    std::mutex foundMutex_;
    std::vector<Finding> findings_;
};

} // namespace corvatek::guard
