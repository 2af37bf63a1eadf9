#include "engines.h"

#include "enginelink.h"
#include "mailtexts.h"
#include "mbox.h"

#include "common/filename.h"
#include "data/filenames.h"
#include "platform/system.h"
#include "scanning/guardclient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvatek::vkmail {
namespace {

namespace guard = scanning::guard;

// The service scans on as many threads as the machine has processors: two
// messages asked about per processor keep each busy while the next is sent.
constexpr std::size_t kMostChannels = 8;
// The service answers a scan past its own deadline; this only guards
// against an engine that hangs.
constexpr auto kAnswerWait = std::chrono::seconds(60);
// Loading the whole of ClamAV's signatures takes a while on a slow machine.
constexpr auto kLoadWait = std::chrono::minutes(5);

std::size_t channelCount()
{
    return std::clamp<std::size_t>(2 * std::thread::hardware_concurrency(), 2, kMostChannels);
}

Verdict verdictOf(const std::optional<guard::Answer>& answer)
{
    if (!answer)
        return {Verdict::Lost, {}};
    switch (answer->kind) {
    case guard::Answer::Clean: return {Verdict::Clean, {}};
    case guard::Answer::Found: return {Verdict::Found, answer->detail};
    case guard::Answer::Error: {
        const std::string_view reason = std::string_view(answer->detail).substr(0, answer->detail.find(' '));
        // The engine's state, not the message's: asked again next run.
        if (reason == guard::reason::NoSignatures || reason == guard::reason::Busy)
            return {Verdict::Lost, {}};
        return {Verdict::NotScanned, {}};
    }
    case guard::Answer::Ready:
    case guard::Answer::Guarding: break;
    }
    return {Verdict::Lost, {}};
}

class ServiceEngine final : public Engine {
public:
    explicit ServiceEngine(std::vector<std::unique_ptr<guard::Client>> clients) : clients_(std::move(clients)) { }

    std::size_t channels() const override { return clients_.size(); }

    Verdict scan(std::size_t channel, int fd) override
    {
        guard::Client& client = *clients_[channel];
        std::optional<guard::Answer> answer = client.ask(guard::Request::Scan, fd);
        // A service restarted meanwhile is asked once more.
        if (!answer && client.connect())
            answer = client.ask(guard::Request::Scan, fd);
        return verdictOf(answer);
    }

    std::string description(companion::Language language) const override
    {
        return companion::say(language, companion::MailText::ThroughService);
    }

private:
    std::vector<std::unique_ptr<guard::Client>> clients_;
};

class OwnEngine final : public Engine {
public:
    OwnEngine(pid_t process, std::vector<int> sockets, std::string folder)
        : process_(process), sockets_(std::move(sockets)), folder_(std::move(folder))
    {
    }

    ~OwnEngine() override
    {
        for (const int socket : sockets_)
            ::close(socket);
        ::kill(process_, SIGKILL);
        ::waitpid(process_, nullptr, 0);
    }

    std::size_t channels() const override { return sockets_.size(); }

    Verdict scan(std::size_t channel, int fd) override
    {
        const int socket = sockets_[channel];
        if (!guard::sendRequest(socket, guard::Request::Scan, fd))
            return {Verdict::Lost, {}};
        const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting {socket, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&waiting, 1, int(left.count())) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return {Verdict::Lost, {}};
            char buffer[guard::kMaxMessage + 1];
            const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || std::size_t(n) > guard::kMaxMessage)
                return {Verdict::Lost, {}};
            return verdictOf(guard::parseAnswer(std::string_view(buffer, std::size_t(n))));
        }
    }

    std::string description(companion::Language language) const override
    {
        return companion::say(language, companion::MailText::WithSignatures, {folder_});
    }

private:
    pid_t process_;
    std::vector<int> sockets_;
    std::string folder_;
};

std::string engineProgram(const std::string& programFolder)
{
    const std::string inFolder = programFolder + companion::fileName(files::MailEngine);
    return ::access(inFolder.c_str(), X_OK) == 0 ? inFolder
                                                 : platform::programFolder() + companion::fileName(files::MailEngine);
}

std::string endOf(int status)
{
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

OpenedEngine startOwnEngine(const std::string& programFolder, companion::Language language)
{
    OpenedEngine opened;
    const std::string program = engineProgram(programFolder);
    std::vector<int> ours, theirs;
    for (std::size_t i = 0; i < channelCount(); ++i) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            break;
        ours.push_back(pair[0]);
        theirs.push_back(pair[1]);
    }
    const auto closeAll = [](const std::vector<int>& fds) {
        for (const int fd : fds)
            ::close(fd);
    };
    if (ours.empty()) {
        opened.problem = std::strerror(errno);
        return opened;
    }
    std::vector<std::string> arguments {
        program, std::string(localisation::kLanguageNames[std::size_t(language)].code), std::to_string(::getpid())};
    for (const int fd : theirs)
        arguments.push_back(std::to_string(fd));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t process = ::fork();
    if (process == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        for (const int fd : theirs)
            ::fcntl(fd, F_SETFD, 0);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    closeAll(theirs);
    if (process < 0) {
        opened.problem = std::strerror(errno);
        closeAll(ours);
        return opened;
    }
    const auto failed = [&](std::string problem) {
        int status = 0;
        ::kill(process, SIGKILL);
        ::waitpid(process, &status, 0);
        closeAll(ours);
        opened.problem =
            problem.empty() ? companion::fileName(files::MailEngine) + ": " + endOf(status) : std::move(problem);
        return std::move(opened);
    };
    // The load's outcome, on the first channel.
    std::string outcome(link::kMaxOutcome, '\0');
    pollfd waiting {ours.front(), POLLIN, 0};
    ssize_t n = -1;
    const auto deadline = std::chrono::steady_clock::now() + kLoadWait;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = left.count() > 0 ? ::poll(&waiting, 1, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0)
            n = ::recv(ours.front(), outcome.data(), outcome.size(), 0);
        if (!(n < 0 && errno == EINTR))
            break;
    }
    if (n <= 0)
        return failed({});
    const std::vector<std::string_view> parts = guard::fields(std::string_view(outcome.data(), std::size_t(n)));
    for (std::size_t i = 2; i < parts.size(); ++i)
        opened.notes.emplace_back(parts[i]);
    if (parts[0] != link::kLoaded || parts.size() < 2)
        return failed(parts.size() >= 2 ? std::string(parts[1]) : std::string(parts[0]));
    opened.engine = std::make_unique<OwnEngine>(process, std::move(ours), std::string(parts[1]));
    return opened;
}

} // namespace

OpenedEngine openEngine(const std::string& programFolder, companion::Language language)
{
    if (const std::string socket = guard::chosenSocket(); !socket.empty()) {
        auto first = std::make_unique<guard::Client>(socket, kAnswerWait);
        if (first->ready()) {
            std::vector<std::unique_ptr<guard::Client>> clients;
            clients.push_back(std::move(first));
            while (clients.size() < channelCount()) {
                auto client = std::make_unique<guard::Client>(socket, kAnswerWait);
                if (!client->connect())
                    break;
                clients.push_back(std::move(client));
            }
            return {std::make_unique<ServiceEngine>(std::move(clients)), {}, {}};
        }
    }
    return startOwnEngine(programFolder, language);
}

ScanPool::ScanPool(Engine& engine) : engine_(engine)
{
    for (std::size_t channel = 0; channel < engine.channels(); ++channel)
        threads_.emplace_back([this, channel] { work(channel); });
}

ScanPool::~ScanPool()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        lost_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    for (const Batch& batch : waiting_)
        ::close(batch.fd);
}

void ScanPool::submit(Batch batch)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < 2 * threads_.size(); });
    waiting_.push_back(std::move(batch));
    ++unanswered_;
    changed_.notify_all();
}

void ScanPool::drain()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return unanswered_ == 0; });
}

void ScanPool::scan(std::size_t channel, const Batch& batch)
{
    const Verdict whole = engine_.scan(channel, batch.fd);
    if (batch.alone || whole.kind == Verdict::Clean || whole.kind == Verdict::Lost) {
        for (const Batch::Member& member : batch.members)
            *member.verdict = whole;
        return;
    }
    // Which of them, and what of each.
    bool lost = false;
    for (const Batch::Member& member : batch.members) {
        const int fd = lost ? -1 : memoryCopy(batch.fd, member.offset, member.size);
        *member.verdict = fd < 0 ? Verdict {Verdict::Lost, {}} : engine_.scan(channel, fd);
        lost = lost || member.verdict->kind == Verdict::Lost;
        if (fd >= 0)
            ::close(fd);
    }
}

void ScanPool::work(std::size_t channel)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Batch next = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        const bool ask = !lost_;
        lock.unlock();
        if (ask) {
            scan(channel, next);
        } else {
            for (const Batch::Member& member : next.members)
                *member.verdict = {Verdict::Lost, {}};
        }
        ::close(next.fd);
        lock.lock();
        for (const Batch::Member& member : next.members)
            lost_ = lost_ || member.verdict->kind == Verdict::Lost;
        --unanswered_;
        changed_.notify_all();
    }
}

} // namespace corvatek::vkmail
