#include "onaccess.h"

#include "log.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

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

OnAccess::OnAccess(unsigned workers, std::chrono::milliseconds openDeadline, Wanted wanted)
    : openDeadline_(openDeadline), wanted_(std::move(wanted)), workers_(std::max(1u, workers)),
      stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), found_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

OnAccess::~OnAccess()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
        thread_.join();
    }
    // Closing the group lets every access still waiting through.
    if (fanotify_ >= 0)
        ::close(fanotify_);
    ::close(stop_);
    ::close(found_);
}

bool OnAccess::start(std::string& why)
{
    if (stop_ < 0 || found_ < 0 || workers_.wakeFd() < 0) {
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
    thread_ = std::thread([this] { run(); });
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

void OnAccess::respond(int fd, bool allow)
{
    const fanotify_response response {fd, std::uint32_t(allow ? FAN_ALLOW : FAN_DENY)};
    // An answer the kernel did not take leaves the opener to the group's end.
    if (::write(fanotify_, &response, sizeof response) != sizeof response && errno != ENOENT)
        log(Priority::Warning, std::string("an access was not answered: ") + std::strerror(errno));
}

void OnAccess::run()
{
    for (;;) {
        auto wake = Clock::time_point::max();
        for (const auto& [key, pending] : pending_)
            if (!pending.answered && pending.access != Access::Written)
                wake = std::min(wake, pending.deadline);
        int timeout = -1;
        if (wake != Clock::time_point::max())
            timeout = int(std::clamp<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count(), 0, 60000));
        pollfd polled[] {{stop_, POLLIN, 0}, {fanotify_, POLLIN, 0}, {workers_.wakeFd(), POLLIN, 0}};
        if (::poll(polled, 3, timeout) < 0 && errno != EINTR) {
            log(Priority::Error, std::string("on-access checking stopped: ") + std::strerror(errno));
            return;
        }
        if (polled[0].revents & POLLIN)
            return;
        if (polled[1].revents & POLLIN)
            readEvents();
        if (polled[2].revents & POLLIN)
            for (const auto& [key, verdict] : workers_.takeFinished())
                finish(key, verdict);
        expire();
    }
}

void OnAccess::readEvents()
{
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fanotify_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // EMFILE and the like: the kernel keeps the event; it is read
            // once a descriptor is free again.
            if (errno != EAGAIN)
                log(Priority::Warning, std::string("on-access events not read: ") + std::strerror(errno));
            return;
        }
        auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
        for (; FAN_EVENT_OK(event, n); event = FAN_EVENT_NEXT(event, n)) {
            if (event->vers != FANOTIFY_METADATA_VERSION) {
                log(Priority::Error, "the kernel's fanotify events are of an unknown version");
                return;
            }
            if (event->mask & FAN_Q_OVERFLOW)
                log(Priority::Warning, "on-access events were lost: the queue overflowed");
            if (event->fd >= 0)
                take(event->fd, event->mask, event->pid);
        }
    }
}

void OnAccess::take(int fd, std::uint64_t mask, pid_t pid)
{
    const bool permission = mask & (FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM);
    const Access access = (mask & FAN_OPEN_EXEC_PERM) ? Access::Run
        : (mask & FAN_OPEN_PERM)                      ? Access::Open
                                                      : Access::Written;
    const auto letThrough = [&] {
        if (permission)
            respond(fd, true);
        ::close(fd);
    };
    struct stat info { };
    // The service's own opens (its workers', the loop's) are never held.
    if (pid == ::getpid() || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0 ||
        std::uint64_t(info.st_size) > scanning::kMaxFileSize)
        return letThrough();
    std::shared_ptr<const scanning::Engine> engine;
    Pending pending;
    {
        const std::lock_guard lock(engineMutex_);
        engine = engine_;
        pending.generation = generation_;
    }
    pending.fd = fd;
    pending.access = access;
    pending.owner = info.st_uid;
    pending.opener = userOf(pid);
    pending.path = readLink("/proc/self/fd/" + std::to_string(fd));
    if (!engine || !wanted_(access, pending.opener, pending.owner, pending.path))
        return letThrough();
    if (pending_.size() >= kMaxPending) {
        ++unscanned_;
        const auto now = Clock::now();
        if (now - toldUnscanned_ >= kTellUnscannedEvery) {
            toldUnscanned_ = now;
            log(Priority::Warning,
                std::to_string(unscanned_) + " accesses let through unscanned so far: too many waited at once");
        }
        return letThrough();
    }
    pending.program = programOf(pid);
    pending.modified = info.st_mtim.tv_sec;
    pending.deadline = Clock::now() + openDeadline_;
    const std::uint64_t key = ++lastKey_;
    pending_.emplace(key, std::move(pending));
    workers_.submit(
        key,
        [engine, fd] {
            const scanning::Engine::Verdict verdict = engine->scan(fd, {});
            switch (verdict.kind) {
            case scanning::Engine::Verdict::Clean: return std::string("clean");
            case scanning::Engine::Verdict::Found: return "found " + verdict.signature;
            default: return std::string("failed");
            }
        },
        permission);
}

void OnAccess::finish(std::uint64_t key, std::string_view verdict)
{
    const auto found = pending_.find(key);
    if (found == pending_.end())
        return;
    Pending& pending = found->second;
    const bool permission = pending.access != Access::Written;
    if (verdict.starts_with("found ")) {
        if (permission && !pending.answered)
            respond(pending.fd, false);
        Finding finding;
        finding.opener = pending.opener;
        finding.owner = pending.owner;
        finding.event.action = actionOf(pending.access, pending.answered);
        finding.event.signature = verdict.substr(6);
        finding.event.modified = pending.modified;
        finding.event.path = pending.path;
        finding.event.program = pending.program;
        log(Priority::Warning,
            "found " + finding.event.signature + " in " + pending.path + " (" +
                std::string(protocol::actionWord(finding.event.action)) + ", " + pending.program + ", uid " +
                std::to_string(pending.opener) + ")");
        tell(std::move(finding));
    } else {
        bool current;
        {
            const std::lock_guard lock(engineMutex_);
            current = pending.generation == generation_;
        }
        // Marked before the answer, so that the opener's next open is not
        // scanned again.
        if (verdict == "clean" && current)
            ::fanotify_mark(
                fanotify_, FAN_MARK_ADD | FAN_MARK_IGNORED_MASK, ignoredWhenClean(pending.access), pending.fd, nullptr);
        if (permission && !pending.answered)
            respond(pending.fd, true);
        if (pending.access == Access::Run) {
            // Runs are scanned until the first clean one: this is it.
            Finding finding;
            finding.opener = pending.opener;
            finding.owner = pending.opener; // a program run is the runner's news, not its owner's
            finding.event.kind = protocol::Event::Modification;
            finding.event.watched = protocol::Watched::Programs;
            finding.event.change = protocol::Change::FirstRun;
            finding.event.path = pending.path;
            finding.event.program = pending.program;
            tell(std::move(finding));
        }
    }
    ::close(pending.fd);
    pending_.erase(found);
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

void OnAccess::expire()
{
    const auto now = Clock::now();
    for (auto& [key, pending] : pending_) {
        if (pending.answered || pending.access == Access::Written || pending.deadline > now)
            continue;
        // Never hang the desktop: the open goes through and the scan goes
        // on; a finding then is reported all the same.
        respond(pending.fd, true);
        pending.answered = true;
    }
}

} // namespace corvatek::guard
