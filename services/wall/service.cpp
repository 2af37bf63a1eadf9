#include "service.h"

#include "common/log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvatek::wall {
namespace {

using service::log;
using service::Priority;

constexpr std::size_t kMaxClients = 256;
constexpr std::size_t kMaxClientsPerUser = 8;
// The machine's own networks are looked at again this often: the Internet
// switch follows a new address within it.
constexpr auto kLocalNetworksEvery = std::chrono::seconds(10);

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/'));
}

std::string peerText(const ucred& peer)
{
    return "uid " + std::to_string(peer.uid) + " (process " + std::to_string(peer.pid) + ")";
}

bool sameNetworks(const LocalNetworks& a, const LocalNetworks& b)
{
    return a.v4 == b.v4 && a.v6 == b.v6;
}

} // namespace

Service::Service(std::string socketPath) : socketPath_(std::move(socketPath)) { }

Service::~Service()
{
    for (auto& [id, client] : clients_)
        ::close(client.fd);
    if (signals_ >= 0)
        ::close(signals_);
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
    const std::optional<Policy> policy = found->second.policy;
    const uid_t uid = found->second.peer.uid;
    ::close(found->second.fd);
    clients_.erase(found);
    if (!policy)
        return;
    // Always on: the rules stay when the client ends or is killed.
    if (policy->firewall == FirewallMode::Always)
        kept_[uid] = *policy;
    saveAlwaysOn();
    if (const std::string problem = applyPolicies(); !problem.empty())
        log(Priority::Error, "the rules of " + std::to_string(uid) + " were not removed: " + problem);
}

void Service::receive(std::uint64_t id)
{
    Client& client = clients_.at(id);
    std::string buffer(kMaxMessage + 1, '\0');
    const ssize_t n = ::recv(client.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        drop(id);
        return;
    }
    std::optional<Policy> policy = parsePolicy(std::string_view(buffer.data(), std::size_t(n)));
    if (!policy) {
        log(Priority::Warning, "a malformed message from " + peerText(client.peer) + ": connection closed");
        drop(id);
        return;
    }
    const uid_t uid = client.peer.uid;
    client.policy = std::move(policy);
    kept_.erase(uid); // the client's word is the latest
    // The same user's other clients hand over the same files: the latest wins.
    for (auto& [other, peer] : clients_)
        if (other != id && peer.peer.uid == uid)
            peer.policy.reset();
    const std::string problem = applyPolicies();
    saveAlwaysOn();
    if (!problem.empty())
        log(Priority::Error, "the rules for " + peerText(client.peer) + " were not applied: " + problem);
    std::string detail = problem;
    if (problem.empty() && diedAt_ && toldOfDeath_.insert(uid).second)
        detail = "resumed " + std::to_string(*diedAt_);
    const std::string text = answerText({problem.empty(), uid, detail});
    if (::send(client.fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL) != ssize_t(text.size()))
        drop(id);
}

std::string Service::applyPolicies()
{
    std::map<uid_t, Policy> policies = kept_;
    for (const auto& [id, client] : clients_)
        if (client.policy)
            policies[client.peer.uid] = *client.policy;
    std::string problem;
    for (const Table table : {Table::InForce, Table::Always})
        if (std::string why; !ruleset_.apply(table, rulesetText(table, policies, local_), why) && problem.empty())
            problem = why;
    std::map<uid_t, ProgramPolicy> programs;
    for (const auto& [uid, policy] : policies) {
        ProgramPolicy& decided = programs[uid];
        decided.refuseUnknown = policy.refusesUnknown();
        for (const ProgramRule& rule : policy.programs)
            decided.rules.emplace(rule.file, rule.verdict);
        decided.quarantined = policy.quarantined;
    }
    hooks_.apply(programs);
    return problem;
}

std::map<uid_t, Policy> Service::alwaysOn() const
{
    std::map<uid_t, Policy> always = kept_;
    for (const auto& [id, client] : clients_)
        if (client.policy && client.policy->firewall == FirewallMode::Always)
            always[client.peer.uid] = *client.policy;
    return always;
}

std::string Service::alwaysOnText() const
{
    std::string text;
    for (const auto& [uid, policy] : alwaysOn()) {
        const std::string policyBytes = policyText(policy);
        text += std::to_string(uid) + ' ' + std::to_string(policyBytes.size()) + '\n' + policyBytes;
    }
    return text;
}

void Service::saveAlwaysOn()
{
    // Most handovers change nothing that is always on.
    std::string text = alwaysOnText();
    if (text == savedAlwaysOn_)
        return;
    const std::string path = folderOf(socketPath_) + "/wall.kept";
    const std::string partial = path + ".new";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return;
    }
    if (::rename(partial.c_str(), path.c_str()) == 0)
        savedAlwaysOn_ = std::move(text);
}

void Service::loadAlwaysOn()
{
    std::ifstream in(folderOf(socketPath_) + "/wall.kept", std::ios::binary);
    unsigned long uid = 0;
    std::size_t size = 0;
    while (in >> uid >> size && in.get() == '\n' && size <= kMaxMessage) {
        std::string text(size, '\0');
        if (!in.read(text.data(), std::streamsize(size)))
            break;
        if (std::optional<Policy> policy = parsePolicy(text); policy && policy->firewall == FirewallMode::Always)
            kept_[uid_t(uid)] = std::move(*policy);
    }
    savedAlwaysOn_ = alwaysOnText();
}

void Service::lookForDeath()
{
    const std::string marker = folderOf(socketPath_) + "/wall.running";
    struct stat facts { };
    if (::stat(marker.c_str(), &facts) == 0) {
        diedAt_ = facts.st_mtime;
        log(Priority::Warning, "the last run ended without stopping: connections passed unchecked meanwhile");
    }
    const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0)
        ::close(fd);
}

void Service::tell(uid_t uid, const ConnectionEvent& event)
{
    const std::string text = eventText(event);
    for (auto& [id, client] : clients_)
        if (client.peer.uid == uid && client.policy)
            ::send(client.fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

int Service::run()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopping, signal);
    ::pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    signals_ = ::signalfd(-1, &stopping, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals_ < 0) {
        log(Priority::Error, std::string("cannot start: ") + std::strerror(errno));
        return 1;
    }
    local_ = localNetworks();
    loadAlwaysOn();
    if (std::string why; !hooks_.start(why))
        log(Priority::Warning, "programs are not told apart, only users: " + why);
    // A table left by an earlier run of this namespace goes: only what the
    // users with the firewall always on keep is in force until a client
    // says more.
    if (const std::string problem = applyPolicies(); !problem.empty()) {
        log(Priority::Error, "nftables refused the service's table: " + problem);
        return 1;
    }
    if (!listener_.listen(socketPath_))
        return 1;
    lookForDeath();
    log(Priority::Notice, "listening on " + socketPath_);
    service::notifySystemd("READY=1");

    auto nextLook = std::chrono::steady_clock::now() + kLocalNetworksEvery;
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> ids;
    for (;;) {
        polled.assign({{signals_, POLLIN, 0}, {listener_.fd(), POLLIN, 0}, {hooks_.eventDescriptor(), POLLIN, 0}});
        ids.clear();
        for (const auto& [id, client] : clients_) {
            polled.push_back({client.fd, POLLIN, 0});
            ids.push_back(id);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextLook - std::chrono::steady_clock::now());
        if (::poll(polled.data(), polled.size(), int(std::max<long long>(0, left.count()))) < 0 && errno != EINTR) {
            log(Priority::Error, std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (polled[0].revents & POLLIN) {
            signalfd_siginfo info {};
            if (::read(signals_, &info, sizeof info) == sizeof info && info.ssi_signo != SIGHUP) {
                log(Priority::Notice, "stopping (signal " + std::to_string(info.ssi_signo) + ")");
                service::notifySystemd("STOPPING=1");
                // The owned table and the hooks go with the process; what is
                // always on stays in the kernel and in the runtime folder.
                saveAlwaysOn();
                listener_.remove();
                ::unlink((folderOf(socketPath_) + "/wall.running").c_str());
                return 0;
            }
        }
        if (polled[1].revents & POLLIN)
            accept();
        if (polled[2].revents & POLLIN)
            hooks_.take([this](uid_t uid, const ConnectionEvent& event) { tell(uid, event); });
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const short events = polled[3 + i].revents;
            if (!events || !clients_.count(ids[i]))
                continue;
            if (events & POLLIN)
                receive(ids[i]);
            else
                drop(ids[i]);
        }
        if (std::chrono::steady_clock::now() >= nextLook) {
            nextLook = std::chrono::steady_clock::now() + kLocalNetworksEvery;
            // Alive: a later run that finds it can tell since when nothing filtered.
            ::utimensat(AT_FDCWD, (folderOf(socketPath_) + "/wall.running").c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
            LocalNetworks now = localNetworks();
            if (!sameNetworks(now, local_)) {
                local_ = std::move(now);
                applyPolicies();
            }
        }
    }
}

} // namespace corvatek::wall
