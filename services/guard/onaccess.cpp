#include "onaccess.h"

#include "log.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvatek::guard {
namespace {

using Clock = std::chrono::steady_clock;
namespace protocol = scanning::guard;

// Each waiting access holds a descriptor; past this many, accesses go
// through unscanned rather than run the service out of descriptors.
constexpr std::size_t kMaxPending = 2048;
constexpr auto kTellUnscannedEvery = std::chrono::seconds(10);
// A clean file is not scanned again until it changes (the kernel drops the
// ignore mark on a write) or the signatures do. A file read is scanned once
// more when it first runs, which the modification watch reports.
std::uint64_t ignoredWhenClean(Access access)
{
    return FAN_OPEN_PERM | FAN_CLOSE_WRITE | (access == Access::Run ? FAN_OPEN_EXEC_PERM : 0);
}

std::string readLink(const std::string& link)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, std::size_t(n)) : std::string();
}

// The real user of a process, from /proc, which the kernel fills: -1 when it
// has gone.
uid_t userOf(pid_t pid)
{
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/status").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return uid_t(-1);
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return uid_t(-1);
    buffer[n] = '\0';
    const char* line = std::strstr(buffer, "\nUid:");
    return line ? uid_t(std::strtoul(line + 5, nullptr, 10)) : uid_t(-1);
}

std::string readStart(const std::string& path, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text(size, '\0');
    const ssize_t n = ::read(fd, text.data(), size);
    ::close(fd);
    text.resize(std::size_t(std::max<ssize_t>(n, 0)));
    return text;
}

// The executable of a process. Another user's is readable only with the
// right to trace it, which the service does without: then the path it was
// started by, else its command name, both of which every user may read.
std::string programOf(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    if (std::string program = readLink(proc + "/exe"); !program.empty())
        return program;
    const std::string started = readStart(proc + "/cmdline", PATH_MAX);
    if (const std::string first = started.substr(0, started.find('\0')); first.starts_with('/'))
        return first;
    std::string name = readStart(proc + "/comm", 64);
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

protocol::Action actionOf(Access access, bool answered)
{
    if (access == Access::Written)
        return protocol::Action::FoundWritten;
    if (answered)
        return protocol::Action::FoundLate;
    return access == Access::Run ? protocol::Action::RefusedRun : protocol::Action::RefusedOpen;
}

} // namespace

OnAccess::Pending::~Pending()
{
    if (fd >= 0)
        ::close(fd);
}

OnAccess::OnAccess(unsigned readers, std::chrono::milliseconds openDeadline, Wanted wanted)
    : readerCount_(std::max(1u, readers)), openDeadline_(openDeadline), wanted_(std::move(wanted)),
      stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), found_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      saturated_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), queuedFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

OnAccess::~OnAccess()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
    for (std::thread& thread : threads_)
        thread.join();
    waiting_.clear();
    queued_.clear();
    // Closing the group lets every access still waiting through.
    if (fanotify_ >= 0)
        ::close(fanotify_);
    for (const int fd : {stop_, found_, saturated_, queuedFd_})
        ::close(fd);
}

bool OnAccess::start(std::string& why)
{
    if (stop_ < 0 || found_ < 0 || saturated_ < 0 || queuedFd_ < 0) {
        why = std::strerror(errno);
        return false;
    }
    // No O_NOATIME: without CAP_FOWNER the kernel could not open another
    // user's file with it, and a permission event it cannot open is denied.
    fanotify_ = ::fanotify_init(
        FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK | FAN_UNLIMITED_QUEUE | FAN_UNLIMITED_MARKS,
        O_RDONLY | O_LARGEFILE | O_CLOEXEC);
    if (fanotify_ < 0) {
        why = std::string("fanotify: ") + std::strerror(errno);
        return false;
    }
    for (unsigned i = 0; i < readerCount_; ++i)
        threads_.emplace_back([this] { read(); });
    threads_.emplace_back([this] { watch(); });
    return true;
}

void OnAccess::setEngine(std::shared_ptr<const scanning::Engine> engine)
{
    {
        const std::lock_guard lock(engineMutex_);
        engine_ = std::move(engine);
        ++generation_;
    }
    // New signatures may find what the old ones passed: the inode marks,
    // which are only ever ignore marks, all go.
    if (fanotify_ >= 0)
        ::fanotify_mark(fanotify_, FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr);
}

void OnAccess::setMarks(const std::map<dev_t, Mark>& marks, std::vector<std::string>& problems)
{
    if (fanotify_ < 0)
        return;
    for (auto current = marked_.begin(); current != marked_.end();) {
        const auto wanted = marks.find(current->first);
        const std::uint64_t dropped = current->second.mask & ~(wanted == marks.end() ? 0 : wanted->second.mask);
        if (dropped)
            ::fanotify_mark(fanotify_, FAN_MARK_REMOVE | FAN_MARK_FILESYSTEM, dropped, AT_FDCWD,
                current->second.path.c_str());
        if (wanted == marks.end())
            current = marked_.erase(current);
        else
            ++current;
    }
    for (const auto& [device, mark] : marks) {
        Mark& held = marked_[device];
        const std::uint64_t added = mark.mask & ~held.mask;
        if (!added && held.path == mark.path)
            continue;
        if (::fanotify_mark(fanotify_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, mark.mask, AT_FDCWD, mark.path.c_str()) !=
            0) {
            problems.push_back("the file system of " + mark.path + " is not watched: " + std::strerror(errno));
            if (held.mask == 0)
                marked_.erase(device);
            continue;
        }
        held = mark;
    }
}

std::vector<Finding> OnAccess::takeFindings()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(found_, &count, sizeof count);
    const std::lock_guard lock(foundMutex_);
    return std::exchange(findings_, {});
}

void OnAccess::tell(Finding finding)
{
    {
        const std::lock_guard lock(foundMutex_);
        findings_.push_back(std::move(finding));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(found_, &one, sizeof one);
}

void OnAccess::respond(int fd, bool allow)
{
    const fanotify_response response {fd, std::uint32_t(allow ? FAN_ALLOW : FAN_DENY)};
    // An answer the kernel did not take leaves the opener to the group's end.
    if (::write(fanotify_, &response, sizeof response) != sizeof response && errno != ENOENT)
        log(Priority::Warning, std::string("an access was not answered: ") + std::strerror(errno));
}

void OnAccess::read()
{
    pollfd polled[] {{stop_, POLLIN, 0}, {fanotify_, POLLIN, 0}, {queuedFd_, POLLIN, 0}};
    for (;;) {
        Shared next;
        {
            const std::lock_guard lock(mutex_);
            if (!queued_.empty()) {
                next = std::move(queued_.front());
                queued_.pop_front();
                if (queued_.empty()) { // readable exactly while something is queued
                    std::uint64_t count = 0;
                    [[maybe_unused]] const ssize_t n = ::read(queuedFd_, &count, sizeof count);
                }
            }
        }
        if (!next) {
            // Every free reader wakes, and the first takes the event: the
            // one on the opener's processor, most often, which is faster
            // than waking only one elsewhere.
            if (::poll(polled, 3, -1) < 0 && errno != EINTR) {
                log(Priority::Error, std::string("on-access checking stopped: ") + std::strerror(errno));
                return;
            }
            if (polled[0].revents & POLLIN)
                return;
            if (!(polled[1].revents & POLLIN) || !(next = readOne()))
                continue;
        }
        {
            const std::lock_guard lock(mutex_);
            if (++busy_ == readerCount_) {
                const std::uint64_t one = 1;
                [[maybe_unused]] const ssize_t n = ::write(saturated_, &one, sizeof one);
            }
        }
        scan(next);
        const std::lock_guard lock(mutex_);
        --busy_;
    }
}

void OnAccess::watch()
{
    for (;;) {
        // Never asleep longer than a deadline: an access taken meanwhile is
        // due no earlier than this wake-up, and nobody need wake the watch.
        auto wake = Clock::now() + openDeadline_;
        bool saturated;
        {
            const std::lock_guard lock(mutex_);
            for (const Shared& pending : waiting_)
                wake = std::min(wake, pending->deadline);
            saturated = busy_ == readerCount_;
        }
        const int timeout = int(std::clamp<long long>(
            std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count(), 0, 60000));
        // Events are the readers' while one of them is free.
        pollfd polled[] {{stop_, POLLIN, 0}, {saturated_, POLLIN, 0}, {fanotify_, short(saturated ? POLLIN : 0), 0}};
        if (::poll(polled, 3, timeout) < 0 && errno != EINTR) {
            log(Priority::Error, std::string("on-access deadlines stopped: ") + std::strerror(errno));
            return;
        }
        if (polled[0].revents & POLLIN)
            return;
        if (polled[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(saturated_, &count, sizeof count);
        }
        if (polled[2].revents & POLLIN) {
            if (Shared pending = readOne()) {
                const std::lock_guard lock(mutex_);
                if (pending->access == Access::Written)
                    queued_.push_back(std::move(pending));
                else
                    queued_.push_front(std::move(pending)); // an opener waits for it
                const std::uint64_t one = 1;
                [[maybe_unused]] const ssize_t n = ::write(queuedFd_, &one, sizeof one);
            }
        }
        expire();
    }
}

OnAccess::Shared OnAccess::readOne()
{
    // One event at a time, so that a reader scans what it read at once.
    alignas(fanotify_event_metadata) char buffer[FAN_EVENT_METADATA_LEN];
    const ssize_t n = ::read(fanotify_, buffer, sizeof buffer);
    if (n < 0) {
        // EMFILE and the like: the kernel keeps the event; it is read once
        // a descriptor is free again.
        if (errno != EAGAIN && errno != EINTR)
            log(Priority::Warning, std::string("on-access events not read: ") + std::strerror(errno));
        return nullptr;
    }
    const auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
    if (!FAN_EVENT_OK(event, n))
        return nullptr;
    if (event->vers != FANOTIFY_METADATA_VERSION) {
        log(Priority::Error, "the kernel's fanotify events are of an unknown version");
        return nullptr;
    }
    if (event->mask & FAN_Q_OVERFLOW)
        log(Priority::Warning, "on-access events were lost: the queue overflowed");
    return event->fd >= 0 ? take(event->fd, event->mask, event->pid) : nullptr;
}

void OnAccess::describe(Pending& pending)
{
    if (pending.described)
        return;
    pending.described = true;
    if (pending.opener == uid_t(-1))
        pending.opener = userOf(pending.pid);
    pending.path = readLink("/proc/self/fd/" + std::to_string(pending.fd));
    pending.program = programOf(pending.pid);
}

OnAccess::Shared OnAccess::take(int fd, std::uint64_t mask, pid_t pid)
{
    auto pending = std::make_shared<Pending>();
    pending->fd = fd;
    pending->pid = pid;
    const bool permission = mask & (FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM);
    pending->access = (mask & FAN_OPEN_EXEC_PERM) ? Access::Run
        : (mask & FAN_OPEN_PERM)                    ? Access::Open
                                                    : Access::Written;
    const auto letThrough = [&] {
        if (permission)
            respond(fd, true);
        return nullptr; // the descriptor closes with it
    };
    struct stat info { };
    // The service's own opens (its workers', the loop's) are never held.
    if (pid == self_ || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0 ||
        std::uint64_t(info.st_size) > scanning::kMaxFileSize)
        return letThrough();
    {
        const std::lock_guard lock(engineMutex_);
        pending->engine = engine_;
        pending->generation = generation_;
    }
    if (!pending->engine)
        return letThrough();
    pending->owner = info.st_uid;
    pending->modified = info.st_mtim.tv_sec;
    // The writer of a closed file may be gone by the time its scan ends; an
    // opener waits for its answer, so what it is is read when needed.
    if (!permission)
        describe(*pending);
    bool wanted = wanted_(pending->access, pending->owner, pending->owner, pending->path);
    if (!wanted) {
        pending->opener = userOf(pid);
        wanted = wanted_(pending->access, pending->opener, pending->owner, pending->path);
    }
    if (!wanted)
        return letThrough();
    const std::lock_guard lock(mutex_);
    if (waiting_.size() + queued_.size() >= kMaxPending) {
        const auto now = Clock::now();
        if (++unscanned_, now - toldUnscanned_ >= kTellUnscannedEvery) {
            toldUnscanned_ = now;
            log(Priority::Warning,
                std::to_string(unscanned_) + " accesses let through unscanned so far: too many waited at once");
        }
        return letThrough();
    }
    if (permission) {
        pending->deadline = Clock::now() + openDeadline_;
        waiting_.push_back(pending);
    }
    return pending;
}

void OnAccess::scan(const Shared& shared)
{
    Pending& pending = *shared;
    const scanning::Engine::Verdict verdict = pending.engine->scan(pending.fd, {});
    const bool found = verdict.kind == scanning::Engine::Verdict::Found;
    const bool clean = verdict.kind == scanning::Engine::Verdict::Clean;
    const bool permission = pending.access != Access::Written;
    bool current;
    {
        const std::lock_guard lock(engineMutex_);
        current = pending.generation == generation_;
    }
    Finding finding;
    bool late;
    {
        const std::lock_guard lock(mutex_);
        late = pending.answered;
        if (found || pending.access == Access::Run)
            describe(pending); // before the answer lets the opener go on
        // Marked before the answer, so that the opener's next open is not
        // scanned again.
        if (clean && current)
            ::fanotify_mark(
                fanotify_, FAN_MARK_ADD | FAN_MARK_IGNORED_MASK, ignoredWhenClean(pending.access), pending.fd, nullptr);
        if (permission && !late) {
            respond(pending.fd, !found);
            pending.answered = true;
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), shared));
        }
        finding.opener = pending.opener;
        finding.owner = pending.owner;
        finding.event.path = pending.path;
        finding.event.program = pending.program;
    }
    if (found) {
        finding.event.action = actionOf(pending.access, late);
        finding.event.signature = verdict.signature;
        finding.event.modified = pending.modified;
        log(Priority::Warning,
            "found " + verdict.signature + " in " + finding.event.path + " (" +
                std::string(protocol::actionWord(finding.event.action)) + ", " + finding.event.program + ", uid " +
                std::to_string(finding.opener) + ")");
        tell(std::move(finding));
    } else if (clean && pending.access == Access::Run) {
        // Runs are scanned until the first clean one: this is it.
        finding.owner = finding.opener; // a program run is the runner's news, not its owner's
        finding.event.kind = protocol::Event::Modification;
        finding.event.watched = protocol::Watched::Programs;
        finding.event.change = protocol::Change::FirstRun;
        tell(std::move(finding));
    }
}

void OnAccess::expire()
{
    const std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    std::erase_if(waiting_, [&](const Shared& shared) {
        Pending& pending = *shared;
        if (pending.deadline > now)
            return false;
        // Never hang the desktop: the open goes through and the scan goes
        // on; a finding then is reported all the same.
        describe(pending);
        respond(pending.fd, true);
        pending.answered = true;
        return true;
    });
}

} // namespace corvatek::guard
