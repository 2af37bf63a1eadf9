// vkwall.exe <thirteen options>: the network tool's client for the user who
// runs it. It hands the network service the user's policy (the options, the
// firewall mode, the closed ports, the sites), again within a second of a
// change to the files it comes from, and ends the user's quarantined
// programs while it runs. Without the service nothing would filter, so it
// ends at once. Exit status: 0 told to stop, 1 no service or rules refused,
// 2 bad options.
#include "settings.h"
#include "walltexts.h"

#include "common/companion.h"
#include "common/notice.h"
#include "data/filenames.h"
#include "platform/processes.h"
#include "wall/policy.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace corvatek;
using namespace corvatek::vkwall;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kAnswerWait = std::chrono::seconds(2);
// The control centre replaces a file in several steps: read once they are over.
constexpr auto kSettle = std::chrono::milliseconds(200);
constexpr auto kQuarantineEvery = std::chrono::seconds(1);

std::string socketPath()
{
    const char* path = std::getenv("CORVATEK_WALL_SOCKET");
    return path && *path == '/' ? path : std::string(wall::kDefaultSocket);
}

int connectTo(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

class Client {
public:
    void log(companion::WallText text, std::initializer_list<std::string_view> arguments)
    {
        const std::string line = companion::say(companion::storedLanguage(folder_), text, arguments);
        companion::log(files_, files::NetworkLog, QString::fromStdString(line));
    }

    Client() : files_(companion::programFolder()), folder_(QFile::encodeName(files_.folder()).toStdString()) { }

    int run(const std::array<bool, 13>& options)
    {
        const std::string path = socketPath();
        service_ = connectTo(path);
        if (service_ < 0) {
            // At level 3 the control centre starts it again and again: said once.
            logOnce(companion::WallText::NoService, {path, std::strerror(errno)});
            return 1;
        }
        options_ = options;
        policy_ = readPolicy(files_, options_, std::nullopt);
        if (!hand(*policy_))
            return 1;
        if (const std::optional<std::string> refused = answer(Clock::now() + kAnswerWait)) {
            log(companion::WallText::Refused, {*refused});
            return 1;
        }
        quarantine_ = quarantined(files_);
        return serve();
    }

private:
    int serve()
    {
        sigset_t stopping;
        sigemptyset(&stopping);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&stopping, signal);
        ::sigprocmask(SIG_BLOCK, &stopping, nullptr);
        const int requests = ::signalfd(-1, &stopping, SFD_CLOEXEC | SFD_NONBLOCK);
        const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch >= 0)
            ::inotify_add_watch(watch, folder_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE);
        auto due = Clock::time_point::max(); // a changed file is read then
        auto nextQuarantine = Clock::now();
        for (;;) {
            const auto wake = std::min(due, nextQuarantine);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            pollfd polled[] {{service_, POLLIN, 0}, {watch, POLLIN, 0}, {requests, POLLIN, 0}};
            if (::poll(polled, 3, int(std::max<long long>(0, left))) < 0 && errno != EINTR)
                return 1;
            if (polled[2].revents & POLLIN)
                return 0; // the service drops the rules of a firewall only on while this runs
            if (polled[0].revents) {
                if (const std::optional<std::string> refused = answer(Clock::now())) {
                    if (refused->empty()) {
                        log(companion::WallText::Lost, {});
                        return 1;
                    }
                    log(companion::WallText::Refused, {*refused});
                }
            }
            if (polled[1].revents & POLLIN && changed(watch))
                due = Clock::now() + kSettle;
            const auto now = Clock::now();
            if (due <= now) {
                due = Clock::time_point::max();
                quarantine_ = quarantined(files_);
                const wall::Policy fresh = readPolicy(files_, options_, policy_);
                if (fresh != *policy_) {
                    policy_ = fresh;
                    if (!hand(fresh)) {
                        log(companion::WallText::Lost, {});
                        return 1;
                    }
                }
            }
            if (now >= nextQuarantine) {
                nextQuarantine = now + kQuarantineEvery;
                enforceQuarantine();
            }
        }
    }

    // Whether one of the policy's files changed.
    bool changed(int watch)
    {
        alignas(inotify_event) char buffer[4096];
        bool any = false;
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len && isPolicyFile(event->name))
                    any = true;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return any;
    }

    // While the network tool runs, it, not the control centre, ends the
    // quarantined programs, and tells the user as the control centre did.
    void enforceQuarantine()
    {
        if (quarantine_.empty())
            return;
        for (const platform::ProcessEntry& process : platform::processList())
            for (const std::string& name : quarantine_)
                if (platform::sameExecutableName(process.name, name) && platform::terminateByName(name))
                    companion::tellUser(folder_, name);
    }

    bool hand(const wall::Policy& policy)
    {
        const std::string text = wall::policyText(policy);
        return ::send(service_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    }

    // Reads an answer until `until`: nothing when the rules are in force,
    // the service's words when it refused them, empty when it went.
    std::optional<std::string> answer(Clock::time_point until)
    {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
            pollfd waiting {service_, POLLIN, 0};
            if (::poll(&waiting, 1, int(std::max<long long>(0, left))) <= 0)
                return left > 0 ? std::nullopt : std::optional<std::string>(std::string("no answer"));
            char buffer[1024];
            const ssize_t n = ::recv(service_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                return std::string();
            const auto said = wall::parseAnswer(std::string_view(buffer, std::size_t(n)));
            if (!said)
                return std::string("an answer of another kind");
            return said->applied ? std::nullopt : std::optional<std::string>(said->detail);
        }
    }

    void logOnce(companion::WallText text, std::initializer_list<std::string_view> arguments)
    {
        const std::string line = companion::say(companion::storedLanguage(folder_), text, arguments);
        const data::LinesRead read = files_.readLines(files::NetworkLog);
        if (read.ok() && !read.lines.isEmpty() && read.lines.last().endsWith(QString::fromStdString(line)))
            return;
        companion::log(files_, files::NetworkLog, QString::fromStdString(line));
    }

    data::ProgramFiles files_;
    std::string folder_;
    int service_ = -1;
    std::array<bool, 13> options_ {};
    std::optional<wall::Policy> policy_;
    std::vector<std::string> quarantine_;
};

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    Client client;
    const std::optional<std::array<bool, 13>> options = vkwall::optionsOf(argc, argv);
    if (!options) {
        std::string given;
        for (int i = 1; i < argc; ++i)
            given += (i > 1 ? " " : "") + std::string(argv[i]);
        client.log(companion::WallText::BadArguments, {given});
        return 2;
    }
    return client.run(*options);
}
