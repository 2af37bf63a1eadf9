// On-access checking through fanotify. Opens and runs on the marked file
// systems wait for a scan, at most the open deadline, then go through;
// files are scanned after they are written, their writer never held up.
// A thread of its own answers the kernel and opens no file, so that no
// open of the service's own (the loop reading the password database, a
// worker's temporary file) ever waits on itself.
#pragma once

#include "scanning/engine.h"
#include "scanning/guardprotocol.h"
#include "workers.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

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
    OnAccess(unsigned workers, std::chrono::milliseconds openDeadline, Wanted wanted);
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
        int fd = -1;
        Access access = Access::Open;
        bool answered = false; // the kernel has had its answer
        std::chrono::steady_clock::time_point deadline {};
        uid_t opener = uid_t(-1);
        uid_t owner = uid_t(-1);
        std::int64_t modified = 0;
        std::string path;
        std::string program;
        std::uint64_t generation = 0; // of the engine that scans it
    };

    void run();
    void readEvents();
    void take(int fd, std::uint64_t mask, pid_t pid);
    void finish(std::uint64_t key, std::string_view verdict);
    void expire();
    void respond(int fd, bool allow);
    void tell(Finding finding);

    const std::chrono::milliseconds openDeadline_;
    const Wanted wanted_;
    Workers workers_;
    int fanotify_ = -1;
    int stop_ = -1;
    int found_ = -1;
    std::thread thread_;

    std::mutex engineMutex_;
    std::shared_ptr<const scanning::Engine> engine_;
    std::uint64_t generation_ = 0; // counts the engines given

    std::map<dev_t, Mark> marked_; // the loop's alone

    // The on-access thread's alone.
    std::unordered_map<std::uint64_t, Pending> pending_;
    std::uint64_t lastKey_ = 0;
    std::uint64_t unscanned_ = 0; // let through unscanned while too many waited
    std::chrono::steady_clock::time_point toldUnscanned_ {};

    std::mutex foundMutex_;
    std::vector<Finding> findings_;
};

} // namespace corvatek::guard
