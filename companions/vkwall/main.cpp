// vkwall.exe <thirteen options>: the network tool's client for the user who
// runs it. It hands the network service the user's policy (the options, the
// firewall mode, the closed ports, the sites, the rules for programs, the
// quarantined programs), again within a second of a change to the files it
// comes from or to a rule's program, writes the alerts and rules of the
// connections the service tells it of, and ends the user's quarantined
// programs while it runs. Without the service nothing would filter, so it
// ends at once. Exit status: 0 told to stop, 1 no service or rules refused,
// 2 bad options.
#include "rules.h"
#include "settings.h"
#include "walltexts.h"

#include "common/companion.h"
#include "common/notice.h"
#include "common/tablerows.h"
#include "data/filenames.h"
#include "localisation/timeformat.h"
#include "platform/processes.h"
#include "wall/policy.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
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
// Connections told of in a burst go to the files together.
constexpr auto kRecordDelay = std::chrono::milliseconds(200);
constexpr std::size_t kMostWaiting = 1000;
constexpr qsizetype kKeptAlerts = 1000;
constexpr qsizetype kKeptRules = 10000;
constexpr auto kRetryDelay = std::chrono::seconds(1);

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
    Client()
        : files_(companion::programFolder()), folder_(QFile::encodeName(files_.folder()).toStdString()),
          language_(companion::storedLanguage(folder_))
    {
    }

    void log(companion::WallText text, std::initializer_list<std::string_view> arguments)
    {
        companion::log(files_, files::NetworkLog, QString::fromStdString(companion::say(language_, text, arguments)));
    }

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
        programWatch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        quarantine_ = quarantined(files_);
        rules_ = readRules(files_).value_or(ProgramRules {});
        watchPrograms();
        policy_ = currentPolicy();
        if (!hand(*policy_))
            return 1;
        if (const std::optional<std::string> refused = answer(Clock::now() + kAnswerWait, true)) {
            log(companion::WallText::Refused, {*refused});
            return 1;
        }
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
            // Nothing quarantined: nothing wakes it but a change.
            const auto wake =
                std::min({due, quarantine_.empty() ? Clock::time_point::max() : nextQuarantine, recordDue_});
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            pollfd polled[] {
                {service_, POLLIN, 0}, {watch, POLLIN, 0}, {requests, POLLIN, 0}, {programWatch_, POLLIN, 0}};
            if (::poll(polled, 4, int(std::clamp<long long>(left, 0, 60000))) < 0 && errno != EINTR)
                return 1;
            if (polled[2].revents & POLLIN) {
                record();
                return 0; // the service drops the rules of a firewall only on while this runs
            }
            if (polled[0].revents) {
                if (const std::optional<std::string> refused = answer(Clock::now())) {
                    if (refused->empty()) {
                        lost();
                        return 1;
                    }
                    log(companion::WallText::Refused, {*refused});
                }
            }
            if ((polled[1].revents & POLLIN && changed(watch)) ||
                (polled[3].revents & POLLIN && drained(programWatch_)))
                due = std::min(due, Clock::now() + kSettle);
            const auto now = Clock::now();
            if (now >= recordDue_)
                record();
            if (due <= now) {
                due = Clock::time_point::max();
                quarantine_ = quarantined(files_);
                if (std::optional<ProgramRules> rules = readRules(files_)) {
                    rules_ = std::move(*rules);
                    watchPrograms();
                }
                const wall::Policy fresh = currentPolicy();
                if (fresh != *policy_) {
                    policy_ = fresh;
                    if (!hand(fresh)) {
                        lost();
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

    wall::Policy currentPolicy() const
    {
        wall::Policy policy = readPolicy(files_, options_, policy_);
        policy.programs = rules_.rules;
        policy.quarantined.clear();
        for (const std::string& name : quarantine_)
            if (name.find('/') == std::string::npos)
                policy.quarantined.push_back(name);
        return policy;
    }

    // A rule's program changed, moved or went: read the rules again, so a
    // changed program counts as unknown at once.
    void watchPrograms()
    {
        if (programWatch_ < 0 || rules_.paths == watchedPaths_)
            return;
        ::close(programWatch_);
        programWatch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        for (const std::string& path : rules_.paths)
            ::inotify_add_watch(programWatch_, path.c_str(),
                IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF | IN_DONT_FOLLOW);
        watchedPaths_ = rules_.paths;
    }

    static bool drained(int watch)
    {
        alignas(inotify_event) char buffer[4096];
        bool any = false;
        while (::read(watch, buffer, sizeof buffer) > 0)
            any = true;
        return any;
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

    // Reads what the service says until an answer or `until`, keeping the
    // connections it tells of: nothing when the rules are in force (or, not
    // `awaited`, when nothing more is said), the service's words when it
    // refused them, empty when it went.
    std::optional<std::string> answer(Clock::time_point until, bool awaited = false)
    {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
            pollfd waiting {service_, POLLIN, 0};
            if (::poll(&waiting, 1, int(std::max<long long>(0, left))) <= 0)
                return awaited ? std::optional<std::string>(std::string("no answer")) : std::nullopt;
            std::string buffer(wall::kMaxMessage, '\0');
            const ssize_t n = ::recv(service_, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n <= 0)
                return std::string();
            const std::string_view said(buffer.data(), std::size_t(n));
            if (const std::optional<wall::ConnectionEvent> event = wall::parseEvent(said)) {
                told(*event);
                continue;
            }
            const auto answered = wall::parseAnswer(said);
            if (!answered)
                return std::string("an answer of another kind");
            if (answered->applied && answered->detail.rfind("resumed ", 0) == 0)
                resumed(answered->detail.substr(8));
            return answered->applied ? std::nullopt : std::optional<std::string>(answered->detail);
        }
    }

    void told(const wall::ConnectionEvent& event)
    {
        if (waiting_.size() >= kMostWaiting)
            return;
        if (waiting_.empty())
            recordDue_ = Clock::now() + kRecordDelay;
        waiting_.push_back({event, programOf(event)});
    }

    // The alerts and rules of the connections told of, then a notification.
    // The alerts and rules of the connections told of, and the user told;
    // rows a table held past the wait are written at a later try.
    void record()
    {
        recordDue_ = Clock::time_point::max();
        if (!waiting_.empty()) {
            for (const auto& [event, program] : waiting_) {
                unwrittenAlerts_.push_back(alertRow(language_, event, program));
                if (std::optional<companion::TableRow> rule = ruleRow(language_, event, program))
                    unwrittenRules_.push_back(std::move(*rule));
            }
            const auto& [event, program] = waiting_.front();
            std::string notice = companion::say(
                language_, companion::WallText::ConnectionNotice, {program.name, actionText(language_, event)});
            if (waiting_.size() > 1)
                notice += " (+" + std::to_string(waiting_.size() - 1) + ")";
            companion::tellUser(folder_, notice);
            waiting_.clear();
        }
        const bool alertsWritten = writeRows(data::TableId::Alerts, unwrittenAlerts_, kKeptAlerts);
        if (!writeRows(data::TableId::Rules, unwrittenRules_, kKeptRules) || !alertsWritten)
            recordDue_ = Clock::now() + kRetryDelay;
    }

    // False while the rows wait for another try.
    bool writeRows(data::TableId table, std::vector<companion::TableRow>& rows, qsizetype kept)
    {
        if (rows.empty())
            return true;
        const companion::RowsAdded added = companion::appendRows(files_, table, rows, kept);
        const std::string name = data::schemaOf(table).fileName.toStdString();
        if (added.notATable)
            logOnce(companion::WallText::NotWritten, {name, companion::say(language_, companion::WallText::NotATable)});
        else if (!added.written.ok())
            logOnce(companion::WallText::NotWritten, {name, added.written.error.toStdString()});
        if (added.done()) {
            rows.clear();
            return true;
        }
        if (rows.size() > kMostWaiting)
            rows.erase(rows.begin(), rows.end() - std::ptrdiff_t(kMostWaiting));
        return false;
    }

    // An alert of the service's own, named after it: quarantining it from
    // the alerts page ends nothing of the user's.
    void serviceAlert(const std::string& action)
    {
        unwrittenAlerts_.push_back({{data::fields::Name, QStringLiteral("corvatek-wall")},
            {data::fields::Moment, localisation::shortDateLongTime(QDateTime::currentDateTime())},
            {data::fields::Action, QString::fromStdString(action)}, {data::fields::Version, QStringLiteral("?")}});
        writeRows(data::TableId::Alerts, unwrittenAlerts_, kKeptAlerts);
        companion::tellUser(folder_, action);
    }

    void lost()
    {
        record();
        serviceAlert(companion::say(language_, companion::WallText::ServiceStopped));
        log(companion::WallText::Lost, {});
    }

    // The service had died: for a while nothing was decided.
    void resumed(const std::string& since)
    {
        long long seconds = 0;
        try {
            seconds = std::stoll(since);
        } catch (const std::exception&) {
            return;
        }
        serviceAlert(companion::say(language_, companion::WallText::ServiceBack,
            {localisation::shortDateLongTime(QDateTime::fromSecsSinceEpoch(seconds)).toStdString()}));
    }

    void logOnce(companion::WallText text, std::initializer_list<std::string_view> arguments)
    {
        const std::string line = companion::say(language_, text, arguments);
        const data::LinesRead read = files_.readLines(files::NetworkLog);
        if (read.ok() && !read.lines.isEmpty() && read.lines.last().endsWith(QString::fromStdString(line)))
            return;
        companion::log(files_, files::NetworkLog, QString::fromStdString(line));
    }

    struct Told {
        wall::ConnectionEvent event;
        ProgramSeen program;
    };

    data::ProgramFiles files_;
    std::string folder_;
    companion::Language language_;
    int service_ = -1;
    int programWatch_ = -1;
    std::array<bool, 13> options_ {};
    std::optional<wall::Policy> policy_;
    std::vector<std::string> quarantine_;
    ProgramRules rules_;
    std::vector<std::string> watchedPaths_;
    std::vector<Told> waiting_;
    std::vector<companion::TableRow> unwrittenAlerts_;
    std::vector<companion::TableRow> unwrittenRules_;
    Clock::time_point recordDue_ = Clock::time_point::max();
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
