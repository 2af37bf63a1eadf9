#include "service.h"

#include "log.h"
#include "scanning/guardprotocol.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvatek::guard {
namespace {

using Clock = std::chrono::steady_clock;
namespace protocol = scanning::guard;

// Each open connection costs a descriptor, and one more while its scan runs.
constexpr std::size_t kMaxClients = 256;
// So that no user's connections crowd out another's guard client.
constexpr std::size_t kMaxClientsPerUser = 32;
// freshclam replaces several files in a row: the folder is loaded once it
// has been quiet this long.
constexpr auto kSettle = std::chrono::seconds(1);
// How often a missing signature folder is looked for.
constexpr auto kRewatchEvery = std::chrono::seconds(5);
// Room for a few descriptors, so that more than one is told apart from one.
constexpr std::size_t kMaxPassed = 8;

std::string peerText(const ucred& peer)
{
    return "uid " + std::to_string(peer.uid) + " (process " + std::to_string(peer.pid) + ")";
}

// Where the passed descriptor leads, for the log only.
std::string descriptorPath(int fd)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
    return n > 0 ? std::string(target, std::size_t(n)) : "descriptor " + std::to_string(fd);
}

} // namespace

Service::Service(Settings settings)
    : settings_(std::move(settings)), workers_(std::max(1u, settings_.workers)), watch_(settings_.database),
      // Twice the processors: a reader held by a slow scan leaves one free
      // on each processor to answer the next open.
      onAccess_(2 * std::max(1u, settings_.workers), settings_.openDeadline,
          [this](Access access, uid_t opener, uid_t owner, std::string_view path) {
              return guarded_.wants(access, opener, owner, path);
          }),
      reloaded_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

Service::~Service()
{
    if (reloader_.joinable())
        reloader_.join();
    for (auto& [id, client] : clients_)
        ::close(client.fd);
    if (signals_ >= 0)
        ::close(signals_);
    ::close(reloaded_);
}

void Service::accept()
{
    service::acceptInto(listener_, clients_, lastId_, {kMaxClients, kMaxClientsPerUser});
}

void Service::drop(std::uint64_t id)
{
    const auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    if (found->second.job) {
        jobs_.erase(found->second.job); // its scan's answer goes nowhere
        *found->second.abandoned = true;
    }
    const bool guarded = found->second.guarding.has_value();
    ::close(found->second.fd);
    clients_.erase(found);
    if (guarded)
        regard();
}

void Service::answer(std::uint64_t id, const std::string& text)
{
    const auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    if (::send(found->second.fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL) != ssize_t(text.size()))
        drop(id);
}

void Service::receive(std::uint64_t id)
{
    Client& client = clients_.at(id);
    char buffer[protocol::kMaxEvent + 1];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxPassed)];
    iovec segment {buffer, sizeof buffer};
    msghdr message {};
    message.msg_iov = &segment;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(client.fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    std::vector<int> passed;
    bool foreign = false;
    if (n >= 0 && message.msg_controllen > 0) {
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
                foreign = true;
                continue;
            }
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                passed.push_back(fd);
            }
        }
    }
    if (n <= 0) {
        for (const int fd : passed)
            ::close(fd);
        drop(id); // the client went
        return;
    }
    const std::optional<protocol::Request> request =
        (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) || foreign || std::size_t(n) > protocol::kMaxEvent
        ? std::nullopt
        : protocol::parseRequest(std::string_view(buffer, std::size_t(n)));
    const std::size_t wanted = request == protocol::Request::Scan ? 1 : 0;
    if (!request || passed.size() != wanted) {
        for (const int fd : passed)
            ::close(fd);
        log(Priority::Warning, "a malformed message from " + peerText(client.peer) + ": connection closed");
        drop(id);
        return;
    }
    if (*request == protocol::Request::Guard) {
        guard(id, std::string_view(buffer, std::size_t(n)));
        return;
    }
    if (*request == protocol::Request::Ping) {
        answer(id,
            protocol::answerText(
                {protocol::Answer::Ready, client.peer.uid, std::to_string(engine_ ? engine_->signatureCount() : 0)}));
        return;
    }
    startScan(id, passed.front());
}

void Service::startScan(std::uint64_t id, int fd)
{
    Client& client = clients_.at(id);
    // Only what the client could read itself is read: never a descriptor
    // opened for a path alone, nor one for writing only, which the
    // service's rights would otherwise open up.
    struct stat info { };
    const int flags = ::fcntl(fd, F_GETFL);
    std::string_view refused;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        refused = protocol::reason::NotRegular;
    else if (flags < 0 || (flags & O_PATH) || (flags & O_ACCMODE) == O_WRONLY)
        refused = protocol::reason::NotReadable;
    else if (std::uint64_t(info.st_size) > scanning::kMaxFileSize)
        refused = protocol::reason::TooLarge;
    else if (!engine_)
        refused = protocol::reason::NoSignatures;
    if (!refused.empty()) {
        ::close(fd);
        answer(id, protocol::answerText({protocol::Answer::Error, client.peer.uid, std::string(refused)}));
        return;
    }
    const std::uint64_t job = ++lastJob_;
    jobs_.emplace(job, id);
    client.job = job;
    client.deadline = Clock::now() + settings_.deadline;
    client.abandoned = std::make_shared<std::atomic<bool>>(false);
    workers_.submit(job, [engine = engine_, fd, peer = client.peer, abandoned = client.abandoned] {
        if (*abandoned) {
            ::close(fd);
            return std::string();
        }
        const scanning::Engine::Verdict verdict = engine->scan(fd, {});
        protocol::Answer result {protocol::Answer::Clean, peer.uid, {}};
        switch (verdict.kind) {
        case scanning::Engine::Verdict::Clean: break;
        case scanning::Engine::Verdict::Found:
            result = {protocol::Answer::Found, peer.uid, verdict.signature};
            log(Priority::Warning,
                "found " + verdict.signature + " in " + descriptorPath(fd) + ", handed over by " + peerText(peer));
            break;
        case scanning::Engine::Verdict::BeyondLimits:
            result = {protocol::Answer::Error, peer.uid, std::string(protocol::reason::BeyondLimits)};
            break;
        case scanning::Engine::Verdict::Failed:
            result = {protocol::Answer::Error, peer.uid,
                std::string(protocol::reason::ScanFailed) + (verdict.reason.empty() ? "" : " " + verdict.reason)};
            break;
        }
        ::close(fd);
        return protocol::answerText(result);
    });
}

void Service::guard(std::uint64_t id, std::string_view request)
{
    Client& client = clients_.at(id);
    std::optional<protocol::Guarding> guarding = protocol::parseGuarding(request);
    if (!guarding) {
        log(Priority::Warning, "a malformed guard request from " + peerText(client.peer) + ": connection closed");
        drop(id);
        return;
    }
    const bool first = !client.guarding;
    client.guarding = std::move(guarding);
    const uid_t uid = client.peer.uid;
    const std::map<uid_t, std::string> unguarded = regard();
    std::string how(protocol::kBlocking);
    if (!onAccess_.started())
        how = std::string(protocol::kUnavailable) + ' ' + onAccessProblem_;
    else if (!engine_)
        how = std::string(protocol::kUnavailable) + " no signatures loaded";
    else if (const auto found = unguarded.find(uid); found != unguarded.end())
        how = std::string(protocol::kUnavailable) + ' ' + found->second;
    if (first)
        log(Priority::Info, "guarding " + peerText(client.peer) + ": " + how);
    answer(id, protocol::answerText({protocol::Answer::Guarding, uid, how}));
}

std::map<uid_t, std::string> Service::regard()
{
    std::map<uid_t, GuardedUser> users;
    for (const auto& [id, client] : clients_) {
        if (!client.guarding)
            continue;
        const uid_t uid = client.peer.uid;
        GuardedUser& user = users[uid];
        if (user.home.empty()) {
            passwd entry {};
            passwd* found = nullptr;
            std::vector<char> text(16384);
            if (::getpwuid_r(uid, &entry, text.data(), text.size(), &found) == 0 && found) {
                user.name = found->pw_name;
                user.home = found->pw_dir;
            }
        }
        for (std::size_t i = 0; i < user.flags.size(); ++i)
            user.flags[i] = user.flags[i] || client.guarding->flags[i];
        // The client says where its downloads go; it only changes what is
        // scanned for its own user.
        const std::string& downloads = client.guarding->downloads;
        user.downloads.push_back(!downloads.empty() && downloads.front() == '/' ? downloads : user.home + "/Downloads");
    }
    std::map<uid_t, std::string> unguarded;
    for (const auto& [uid, user] : users)
        if (user.home.empty() || user.home.front() != '/')
            unguarded[uid] = "no home folder in the password database";
    guarded_.set(users);
    std::vector<std::string> problems;
    onAccess_.setMarks(guarded_.marks(unguarded), problems);
    for (const std::string& problem : problems)
        log(Priority::Warning, problem);
    return unguarded;
}

void Service::tellFindings()
{
    for (const Finding& finding : onAccess_.takeFindings()) {
        // Only the user who opened, ran or wrote the file, and its owner:
        // never another user.
        for (auto& [id, client] : clients_) {
            const uid_t uid = client.peer.uid;
            if (!client.guarding || (uid != finding.opener && uid != finding.owner))
                continue;
            if (finding.event.kind == protocol::Event::Modification && !client.guarding->flag(6))
                continue; // new programs are not watched
            const std::string text = protocol::eventText(uid, finding.event);
            if (::send(client.fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL) != ssize_t(text.size()))
                log(Priority::Warning,
                    "a finding was not told to " + peerText(client.peer) + ": " + std::strerror(errno));
        }
    }
}

void Service::finishScans()
{
    for (auto& [job, text] : workers_.takeFinished()) {
        const auto found = jobs_.find(job);
        if (found == jobs_.end())
            continue; // answered as timed out, or its client went
        const std::uint64_t id = found->second;
        jobs_.erase(found);
        clients_.at(id).job = 0;
        answer(id, text);
    }
}

void Service::expireScans()
{
    const auto now = Clock::now();
    std::vector<std::uint64_t> late;
    for (const auto& [id, client] : clients_)
        if (client.job && client.deadline <= now)
            late.push_back(id);
    for (const std::uint64_t id : late) {
        Client& client = clients_.at(id);
        jobs_.erase(client.job);
        client.job = 0;
        *client.abandoned = true;
        // The scan itself ends at libclamav's bound, just past this one.
        log(Priority::Notice, "a scan for " + peerText(client.peer) + " passed its deadline");
        answer(id,
            protocol::answerText({protocol::Answer::Error, client.peer.uid, std::string(protocol::reason::Timeout)}));
    }
}

void Service::startReload()
{
    reloadDue_.reset();
    fresh_ = std::make_shared<scanning::Engine>();
    reloader_ = std::thread([this] {
        freshProblem_ =
            fresh_->load(settings_.database, settings_.tempFolder, settings_.deadline + std::chrono::seconds(1));
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(reloaded_, &one, sizeof one);
    });
}

void Service::finishReload()
{
    std::uint64_t count = 0;
    if (::read(reloaded_, &count, sizeof count) != sizeof count || !reloader_.joinable())
        return;
    reloader_.join();
    if (freshProblem_.kind == scanning::Engine::Problem::None) {
        engine_ = std::move(fresh_); // scans under way keep the engine they started with
        onAccess_.setEngine(engine_);
        log(Priority::Notice,
            "signatures reloaded from " + settings_.database + ": " + std::to_string(engine_->signatureCount()) +
                " signatures");
    } else {
        log(Priority::Error,
            "signatures in " + settings_.database + " not reloaded (" + scanning::describe(freshProblem_) +
                "): " + (engine_ ? "the previous ones stay in use" : "scans are still refused"));
    }
    fresh_.reset();
}

int Service::run()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopping, signal);
    signals_ = ::signalfd(-1, &stopping, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals_ < 0 || reloaded_ < 0 || workers_.wakeFd() < 0 || watch_.fd() < 0) {
        log(Priority::Error, std::string("cannot start: ") + std::strerror(errno));
        return 1;
    }

    auto first = std::make_shared<scanning::Engine>();
    const scanning::Engine::Problem problem =
        first->load(settings_.database, settings_.tempFolder, settings_.deadline + std::chrono::seconds(1));
    if (problem.kind == scanning::Engine::Problem::None) {
        engine_ = std::move(first);
        onAccess_.setEngine(engine_);
        log(Priority::Notice,
            "signatures loaded from " + settings_.database + ": " + std::to_string(engine_->signatureCount()) +
                " signatures");
    } else {
        // Serving without signatures lets the folder's first database be
        // loaded when it comes (clamav-freshclam installed later); until
        // then scans are refused and the scanner uses its own.
        log(Priority::Error,
            "no signatures loaded from " + settings_.database + " (" + scanning::describe(problem) +
                "): scans are refused until the folder changes");
    }
    if (!listener_.listen(settings_.socket))
        return 1;
    if (!onAccess_.start(onAccessProblem_))
        log(Priority::Warning,
            "files are not checked on access (" + onAccessProblem_ + "): guard clients check them after writing");
    log(Priority::Notice,
        "listening on " + settings_.socket + " with " + std::to_string(settings_.workers) +
            " scanning threads, a scan's deadline " + std::to_string(settings_.deadline.count()) + " ms");
    service::notifySystemd("READY=1\nSTATUS=" +
        (engine_ ? std::to_string(engine_->signatureCount()) + " signatures loaded" : std::string("no signatures")));

    auto nextRewatch = Clock::now() + kRewatchEvery;
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> polledClients;
    for (;;) {
        polled.assign({{signals_, POLLIN, 0}, {listener_.fd(), POLLIN, 0}, {workers_.wakeFd(), POLLIN, 0},
            {reloaded_, POLLIN, 0}, {watch_.fd(), short(watch_.watching() ? POLLIN : 0), 0},
            {onAccess_.findingsFd(), POLLIN, 0}, {mounts_.descriptor(), POLLPRI, 0}});
        constexpr std::size_t kFixed = 7;
        polledClients.clear();
        auto wake = Clock::time_point::max();
        for (const auto& [id, client] : clients_) {
            // While its scan runs a client is only watched for going away.
            polled.push_back({client.fd, short(client.job ? 0 : POLLIN), 0});
            polledClients.push_back(id);
            if (client.job)
                wake = std::min(wake, client.deadline);
        }
        if (reloadDue_ && !reloader_.joinable())
            wake = std::min(wake, *reloadDue_);
        if (!watch_.watching())
            wake = std::min(wake, nextRewatch);
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            timeout = int(std::clamp<long long>(left, 0, 60000));
        }
        if (::poll(polled.data(), polled.size(), timeout) < 0 && errno != EINTR) {
            log(Priority::Error, std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }

        if (polled[0].revents & POLLIN) {
            signalfd_siginfo info {};
            while (::read(signals_, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGHUP) {
                    log(Priority::Notice, "told to reload the signatures");
                    reloadDue_ = Clock::now();
                    continue;
                }
                log(Priority::Notice, "stopping (signal " + std::to_string(info.ssi_signo) + ")");
                stop();
                return 0;
            }
        }
        if (polled[1].revents & POLLIN)
            accept();
        if (polled[2].revents & POLLIN)
            finishScans();
        if (polled[3].revents & POLLIN)
            finishReload();
        if ((polled[4].revents & POLLIN) && watch_.readChanges())
            reloadDue_ = Clock::now() + kSettle;
        if (polled[5].revents & POLLIN)
            tellFindings();
        if (polled[6].revents & POLLPRI) {
            // A volume mounted for a guarded user is guarded from now on.
            mounts_.takeArrivals();
            regard();
        }
        for (std::size_t i = 0; i < polledClients.size(); ++i) {
            const short events = polled[kFixed + i].revents;
            const std::uint64_t id = polledClients[i];
            const auto found = clients_.find(id);
            if (!events || found == clients_.end())
                continue;
            if ((events & POLLIN) && !found->second.job)
                receive(id);
            else if (events & (POLLHUP | POLLERR | POLLNVAL))
                drop(id);
        }
        expireScans();

        const auto now = Clock::now();
        if (!watch_.watching() && now >= nextRewatch) {
            nextRewatch = now + kRewatchEvery;
            if (watch_.rewatch())
                reloadDue_ = now + kSettle;
        }
        if (reloadDue_ && *reloadDue_ <= now && !reloader_.joinable())
            startReload();
    }
}

void Service::stop()
{
    service::notifySystemd("STOPPING=1");
    listener_.remove();
}

} // namespace corvatek::guard
