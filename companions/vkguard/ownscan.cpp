#include "ownscan.h"

#include "enginemessages.h"

#include "common/filename.h"
#include "data/filenames.h"
#include "platform/system.h"
#include "scanning/guardclient.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace corvatek::vkguard {
namespace {

// A burst of writes beyond this many waiting files (a build in the home
// folder) is not queued without end.
constexpr std::size_t kMostWaiting = 10000;

std::string engineProgram(const std::string& programFolder)
{
    const std::string name = companion::fileName(files::GuardEngine);
    const std::string inFolder = programFolder + name;
    return ::access(inFolder.c_str(), X_OK) == 0 ? inFolder : platform::programFolder() + name;
}

std::string endOf(int status)
{
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

} // namespace

OwnScan::OwnScan(const std::string& programFolder, companion::Language language)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        startFailure_ = Loaded {{}, {}, std::strerror(errno), {}};
        return;
    }
    const std::string program = engineProgram(programFolder);
    const std::string socket = std::to_string(pair[1]);
    const std::string code(localisation::kLanguageNames[std::size_t(language)].code);
    const std::string parent = std::to_string(::getpid());
    const char* arguments[] = {program.c_str(), socket.c_str(), code.c_str(), parent.c_str(), nullptr};
    process_ = ::fork();
    if (process_ == 0) {
        // What the client set for itself is not the engine's.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::fcntl(pair[1], F_SETFD, 0);
        ::execv(program.c_str(), const_cast<char* const*>(arguments));
        ::_exit(127);
    }
    ::close(pair[1]);
    if (process_ < 0) {
        startFailure_ = Loaded {{}, {}, std::strerror(errno), {}};
        ::close(pair[0]);
        return;
    }
    socket_ = pair[0];
    ::fcntl(socket_, F_SETFL, O_NONBLOCK);
}

OwnScan::~OwnScan()
{
    if (socket_ >= 0)
        ::close(socket_);
    if (process_ > 0) {
        ::kill(process_, SIGKILL);
        ::waitpid(process_, nullptr, 0);
    }
}

void OwnScan::scan(const std::string& path)
{
    if (socket_ < 0 || path.size() > engine::kMaxMessage || waiting_.size() >= kMostWaiting ||
        !queued_.insert(path).second)
        return;
    waiting_.push_back(path);
    send();
}

void OwnScan::send()
{
    while (socket_ >= 0 && !waiting_.empty()) {
        const std::string& path = waiting_.front();
        if (::send(socket_, path.data(), path.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
            if (errno == EINTR)
                continue;
            return; // full: sent once the engine took more, or gone: told by read
        }
        queued_.erase(path);
        waiting_.pop_front();
    }
}

void OwnScan::ended(Report& report)
{
    int status = 0;
    if (process_ > 0 && ::waitpid(process_, &status, 0) == process_)
        report.ended = endOf(status);
    else
        report.ended = std::string();
    process_ = -1;
    ::close(socket_);
    socket_ = -1;
    waiting_.clear();
    queued_.clear();
}

OwnScan::Report OwnScan::read()
{
    Report report;
    if (startFailure_) {
        report.loaded = std::exchange(startFailure_, std::nullopt);
        return report;
    }
    char buffer[engine::kMaxMessage + 1];
    while (socket_ >= 0) {
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            ended(report);
            break;
        }
        const std::vector<std::string_view> parts = scanning::guard::fields(std::string_view(buffer, std::size_t(n)));
        if (parts[0] == engine::kFound && parts.size() == 4) {
            Finding finding {std::string(parts[1]), std::string(parts[2]), 0};
            std::from_chars(parts[3].data(), parts[3].data() + parts[3].size(), finding.modified);
            report.findings.push_back(std::move(finding));
        } else if ((parts[0] == engine::kLoaded && parts.size() >= 3) || (parts[0] == engine::kFailed && parts.size() >= 2)) {
            Loaded loaded;
            const bool ok = parts[0] == engine::kLoaded;
            if (ok) {
                loaded.folder = parts[1];
                loaded.signatures = parts[2];
            } else {
                loaded.problem = parts[1];
            }
            for (std::size_t i = ok ? 3 : 2; i < parts.size(); ++i)
                loaded.notes.emplace_back(parts[i]);
            report.loaded = std::move(loaded);
        }
    }
    return report;
}

} // namespace corvatek::vkguard
