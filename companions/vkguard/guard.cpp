#include "guard.h"

#include "common/companion.h"
#include "common/filename.h"
#include "data/filenames.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/socket.h>

namespace corvatek::vkguard {
namespace {

namespace guard = scanning::guard;
using companion::GuardText;
using companion::say;

// The service answers a guard request from its event loop; one that takes
// longer is not blocking anything meanwhile.
constexpr auto kAnswerWait = std::chrono::seconds(2);
constexpr auto kLongestBackoff = std::chrono::seconds(30);
// The control centre replaces a file by several steps; the client reads it
// once they are over, well within the second it has.
constexpr auto kSettingsSettle = std::chrono::milliseconds(200);
constexpr auto kSettingsRetry = std::chrono::seconds(1);

constexpr std::uint32_t kWrittenMask = IN_CLOSE_WRITE | IN_MOVED_TO;
constexpr std::uint32_t kChangedMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB;

std::string withoutLastSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

bool isSettingsFile(std::string_view name)
{
    for (const files::FileName file : {files::Configuration, files::ProtectionLevel, files::Languages}) {
        if (companion::fileName(file) == name)
            return true;
    }
    return false;
}

// The switch a watched kind of modification is recorded under.
int switchOf(guard::Watched kind)
{
    switch (kind) {
    case guard::Watched::System: return flag::SystemFiles;
    case guard::Watched::Settings: return flag::SettingsFiles;
    case guard::Watched::Autostart: return flag::Autostart;
    case guard::Watched::Programs: break;
    }
    return flag::NewPrograms;
}

std::optional<guard::Change> changeOf(std::uint32_t mask)
{
    if (mask & IN_CREATE)
        return guard::Change::Created;
    if (mask & IN_DELETE)
        return guard::Change::Deleted;
    if (mask & (IN_MOVED_FROM | IN_MOVED_TO))
        return guard::Change::Renamed;
    if (mask & (IN_CLOSE_WRITE | IN_ATTRIB))
        return guard::Change::Modified;
    return std::nullopt;
}

} // namespace

Guard::Guard()
    : folder_(withoutLastSlash(QFile::encodeName(companion::programFolder()).toStdString())),
      files_(companion::programFolder()), language_(companion::storedLanguage(folder_ + "/")), recorder_(files_),
      settingsWatch_(IN_CLOSE_WRITE | IN_MOVED_TO), scanWatch_(kWrittenMask), modWatch_(kChangedMask)
{
    files_.setLanguage(language_);
    recorder_.setLanguage(language_);
    recorder_.setProblemLog([this](const std::string& line) { log(line); });
}

void Guard::log(const std::string& line) const
{
    companion::log(files_, files::GuardLog, QString::fromStdString(line));
}

void Guard::logSettings() const
{
    log(say(language_, GuardText::SettingsRead,
        {flagsText(settings_), std::to_string(settings_.level), settings_.downloads}));
}

void Guard::readSettingsAgain()
{
    settingsDue_.reset();
    const SettingsRead read = readSettings(files_, &settings_);
    if (read.busy)
        settingsDue_ = Clock::now() + kSettingsRetry;
    language_ = companion::storedLanguage(folder_ + "/");
    files_.setLanguage(language_);
    recorder_.setLanguage(language_);
    if (read.settings == settings_)
        return;
    const Guarding before = std::exchange(settings_, read.settings);
    logSettings();
    recorder_.setNewPrograms(settings_.flag(flag::NewPrograms));
    bool watchesChanged = false;
    for (const int n : {flag::SystemFiles, flag::SettingsFiles, flag::Autostart})
        watchesChanged = watchesChanged || before.flag(n) != settings_.flag(n);
    if (watchesChanged)
        watchModifications();
    if (client_ && client_->connected()) {
        if (!client_->post(guard::guardText(settings_))) {
            serviceLost();
        } else if (service_ == Service::Awaiting) {
            answerDeadline_ = Clock::now() + kAnswerWait;
        }
    }
    if (userMode_)
        checkOwnFolders();
}

void Guard::watchModifications()
{
    std::vector<FolderWatch::Wanted> wanted;
    std::vector<std::string> paths;
    for (const WatchedFolder& folder : watchedFolders(settings_)) {
        wanted.push_back({folder.path, int(folder.kind), folder.withSubfolders});
        paths.push_back(folder.path);
    }
    modWatch_.watch(std::move(wanted));
    if (!paths.empty())
        log(say(language_, GuardText::Watching, {joined(paths)}));
}

void Guard::connectService(bool first)
{
    client_ = std::make_unique<guard::Client>(socketPath_, kAnswerWait);
    if (!client_->connect()) {
        const int error = errno;
        if (first)
            log(say(language_, GuardText::NoService, {socketPath_, std::strerror(error)}));
        client_.reset();
        service_ = Service::Absent;
        reconnectAt_ = Clock::now() + backoff_;
        backoff_ = std::min<std::chrono::seconds>(backoff_ * 2, kLongestBackoff);
        return;
    }
    log(say(language_, GuardText::Connected, {socketPath_}));
    if (!client_->post(guard::guardText(settings_))) {
        serviceLost();
        return;
    }
    service_ = Service::Awaiting;
    answerDeadline_ = Clock::now() + kAnswerWait;
}

void Guard::serviceLost()
{
    client_.reset();
    service_ = Service::Absent;
    reconnectAt_ = Clock::now() + backoff_;
    log(say(language_, GuardText::ServiceLost, {std::to_string(backoff_.count())}));
    backoff_ = std::min<std::chrono::seconds>(backoff_ * 2, kLongestBackoff);
    enterUserMode();
}

void Guard::readService()
{
    // Events name paths: the buffer takes the longest, and anything longer
    // shows as such and is passed over.
    char buffer[guard::kMaxEvent + 1];
    while (client_ && client_->connected()) {
        const ssize_t n = ::recv(client_->socket(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            serviceLost();
            return;
        }
        const std::string_view text(buffer, std::size_t(n));
        if (std::size_t(n) > guard::kMaxEvent)
            continue;
        if (guard::isEvent(text)) {
            const std::optional<guard::Event> event = guard::parseEvent(text);
            if (event && event->kind == guard::Event::Detection)
                recorder_.detection(*event);
            else if (event && settings_.flag(switchOf(event->watched)))
                recorder_.modification(*event);
        } else if (const auto answer = guard::parseAnswer(text); answer && answer->kind == guard::Answer::Guarding) {
            answered(*answer);
        }
    }
}

void Guard::answered(const guard::Answer& answer)
{
    if (answer.detail == guard::kBlocking) {
        backoff_ = std::chrono::seconds(1);
        if (service_ != Service::Blocking) {
            service_ = Service::Blocking;
            enterServiceMode();
        }
        return;
    }
    if (!answer.detail.starts_with(guard::kUnavailable))
        return;
    std::string why = answer.detail.substr(guard::kUnavailable.size());
    if (why.starts_with(' '))
        why.erase(0, 1);
    log(say(language_, GuardText::Unavailable, {why}));
    service_ = Service::NotBlocking;
    enterUserMode();
}

void Guard::enterServiceMode()
{
    everBlocking_ = true;
    userMode_ = false;
    ownFailed_ = false;
    scanned_.reset();
    scanWatch_.watch({});
    own_.reset();
    log(say(language_, GuardText::Blocking));
}

void Guard::enterUserMode()
{
    if (userMode_)
        return;
    userMode_ = true;
    checkOwnFolders();
}

void Guard::checkOwnFolders()
{
    const std::vector<std::string> folders = scanFolders(settings_);
    if (folders != scanned_) {
        scanned_ = folders;
        if (folders.empty()) {
            scanWatch_.watch({});
            own_.reset();
            log(say(language_, GuardText::NotScanning));
        } else {
            std::vector<FolderWatch::Wanted> wanted;
            for (const std::string& folder : folders)
                wanted.push_back({folder});
            scanWatch_.watch(std::move(wanted));
            log(say(language_, GuardText::AfterWriting, {joined(folders)}));
            if (!own_ && !ownFailed_)
                startOwnScan();
        }
    }
    // Without the service the client alone protects; with nothing to do
    // it would only keep the guard shown as running.
    const bool programs = settings_.flag(flag::NewPrograms) && client_ && client_->connected();
    if (!everBlocking_ && folders.empty() && modWatch_.empty() && !programs) {
        log(say(language_, GuardText::NothingToProtect));
        exit_ = NothingToProtect;
    }
}

void Guard::startOwnScan()
{
    own_ = std::make_unique<OwnScan>(folder_ + "/", language_);
    ownLoaded_ = false;
    if (own_->descriptor() < 0)
        ownScanReported(own_->read());
}

void Guard::ownScanReported(OwnScan::Report report)
{
    if (report.loaded) {
        for (const std::string& note : report.loaded->notes)
            log(note);
        if (report.loaded->ok())
            log(say(language_, GuardText::SignaturesLoaded, {report.loaded->folder, report.loaded->signatures}));
        ownLoaded_ = report.loaded->ok();
    }
    for (const OwnScan::Finding& finding : report.findings) {
        guard::Event event;
        event.action = guard::Action::FoundWritten;
        event.signature = finding.signature;
        event.modified = finding.modified;
        event.path = finding.path;
        recorder_.detection(event);
    }
    if (!report.ended && !(report.loaded && !report.loaded->ok()))
        return;
    // A file that makes libclamav fail ends only the engine: it is started
    // again, unless it ends again within the minute.
    const Clock::time_point now = Clock::now();
    if (ownLoaded_ && report.ended && (!ownRestarted_ || now - *ownRestarted_ > std::chrono::minutes(1))) {
        log(say(language_, GuardText::EngineRestarted, {*report.ended}));
        ownRestarted_ = now;
        startOwnScan();
        return;
    }
    std::string why = report.loaded && !report.loaded->ok() ? report.loaded->problem
                                                             : say(language_, GuardText::EngineEnded, {*report.ended});
    log(say(language_, GuardText::CannotCheck, {why}));
    own_.reset();
    ownFailed_ = true;
    if (!everBlocking_) {
        log(say(language_, GuardText::NoSignaturesEnding));
        exit_ = CannotCheck;
    }
}

bool Guard::inProgramFolder(const std::string& path) const
{
    return path.size() > folder_.size() && path.compare(0, folder_.size(), folder_) == 0 &&
        path.find('/', folder_.size() + 1) == std::string::npos && path[folder_.size()] == '/';
}

void Guard::settingsFileChanged(const FolderWatch::Change& change)
{
    if (inProgramFolder(change.path) && isSettingsFile(change.path.substr(folder_.size() + 1)) && !settingsDue_)
        settingsDue_ = Clock::now() + kSettingsSettle;
}

void Guard::fileWritten(const FolderWatch::Change& change)
{
    const bool written = (change.mask & kWrittenMask) || change.appeared;
    if (own_ && written && !(change.mask & IN_ISDIR) && !inProgramFolder(change.path))
        own_->scan(change.path);
}

void Guard::entryChanged(const FolderWatch::Change& change)
{
    // The client's own files are no change of the user's.
    if (inProgramFolder(change.path))
        return;
    if (const auto kind = changeOf(change.mask))
        recorder_.modification(guard::Watched(change.role), *kind, change.path);
}

int Guard::pollTimeout() const
{
    std::optional<Clock::time_point> next = recorder_.due();
    const auto sooner = [&next](Clock::time_point at) { next = std::min(next.value_or(at), at); };
    if (settingsDue_)
        sooner(*settingsDue_);
    if (service_ == Service::Awaiting)
        sooner(answerDeadline_);
    if (service_ == Service::Absent && !socketPath_.empty())
        sooner(reconnectAt_);
    if (!next)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count();
    return int(std::clamp<long long>(left + 1, 0, 60000));
}

ExitStatus Guard::run()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, nullptr);
    signals_ = ::signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    const SettingsRead read = readSettings(files_, nullptr);
    settings_ = read.settings;
    if (read.busy)
        settingsDue_ = Clock::now() + kSettingsRetry;
    logSettings();
    recorder_.setNewPrograms(settings_.flag(flag::NewPrograms));
    settingsWatch_.watch({{folder_}});
    watchModifications();

    socketPath_ = guard::chosenSocket();
    if (!socketPath_.empty())
        connectService(true);
    if (service_ == Service::Absent)
        enterUserMode();

    while (!exit_) {
        enum { Signals, Settings, Written, Changed, Own, ServiceSocket, Count };
        pollfd watched[Count] {};
        watched[Signals].fd = signals_;
        watched[Settings].fd = settingsWatch_.descriptor();
        watched[Written].fd = scanWatch_.descriptor();
        watched[Changed].fd = modWatch_.descriptor();
        watched[Own].fd = own_ ? own_->descriptor() : -1;
        watched[ServiceSocket].fd = client_ && client_->connected() ? client_->socket() : -1;
        for (pollfd& one : watched)
            one.events = POLLIN;
        if (own_ && own_->sending())
            watched[Own].events |= POLLOUT;
        if (::poll(watched, Count, pollTimeout()) < 0 && errno != EINTR)
            break;

        if (watched[Signals].revents) {
            signalfd_siginfo signal {};
            if (::read(signals_, &signal, sizeof signal) == sizeof signal) {
                log(say(language_, GuardText::ToldToStop, {std::to_string(signal.ssi_signo)}));
                exit_ = Stopped;
            }
        }
        if (watched[Settings].revents)
            settingsWatch_.read([this](const FolderWatch::Change& change) { settingsFileChanged(change); });
        if (watched[Written].revents)
            scanWatch_.read([this](const FolderWatch::Change& change) { fileWritten(change); });
        if (watched[Changed].revents)
            modWatch_.read([this](const FolderWatch::Change& change) { entryChanged(change); });
        if ((watched[Own].revents & POLLOUT) && own_)
            own_->send();
        if ((watched[Own].revents & ~POLLOUT) && own_)
            ownScanReported(own_->read());
        if (watched[ServiceSocket].revents)
            readService();

        const Clock::time_point now = Clock::now();
        if (settingsDue_ && now >= *settingsDue_)
            readSettingsAgain();
        if (service_ == Service::Awaiting && now >= answerDeadline_) {
            log(say(language_, GuardText::NoAnswer, {std::to_string(kAnswerWait.count())}));
            service_ = Service::NotBlocking;
            enterUserMode();
        }
        if (service_ == Service::Absent && !socketPath_.empty() && now >= reconnectAt_)
            connectService(false);
        recorder_.write();
    }
    recorder_.write(true);
    return exit_.value_or(Stopped);
}

} // namespace corvatek::vkguard
