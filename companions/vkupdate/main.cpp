// vkupdate.exe: the signature update. Brings the user's own signature
// folder up to date with ClamAV's freshclam and tells in vkupdate.log what
// happened. Arguments are ignored (the control centre passes "0").
// Exit status: 0 signatures current, 1 freshclam failed or was stopped, 2
// nothing could be run.
#include "common/companion.h"
#include "data/filenames.h"
#include "platform/linux/searchpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvatek;
using Clock = std::chrono::steady_clock;

namespace {

enum ExitStatus { Current = 0, Failed = 1, NotRun = 2 };

// freshclam can hang on a dead mirror; the suite's next run tries again.
constexpr std::chrono::seconds kDefaultLimit {600};
// Only the end of what freshclam says is told.
constexpr std::size_t kOutputKept = 64 * 1024;
constexpr std::size_t kLinesTold = 6;

std::chrono::seconds timeLimit()
{
    // Tests cannot wait ten minutes for a stand-in that never ends.
    if (const char* text = std::getenv("CORVATEK_UPDATE_LIMIT")) {
        const long seconds = std::strtol(text, nullptr, 10);
        if (seconds > 0)
            return std::chrono::seconds(seconds);
    }
    return kDefaultLimit;
}

struct Outcome {
    bool started = false;
    bool stopped = false; // ran past the limit
    int status = -1; // the exit status, or -1 when it ended by a signal
    int signal = 0;
    std::string output; // its last bytes, both streams
    std::string error; // when not started
};

void keepEnd(std::string& output)
{
    if (output.size() > kOutputKept)
        output.erase(0, output.size() - kOutputKept);
}

// Runs the program with its output read into the outcome, in a process group
// of its own that ends with this process (the control centre stops us with
// SIGKILL), and stopped when it runs past `limit`.
Outcome runLimited(const std::string& program, const std::vector<std::string>& arguments, std::chrono::seconds limit)
{
    Outcome outcome;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        outcome.error = std::strerror(errno);
        return outcome;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(pipe[1], 1) < 0 || ::dup2(pipe[1], 2) < 0)
            ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    if (child > 0)
        ::setpgid(child, child); // before any stop below can name the group
    if (child < 0) {
        outcome.error = std::strerror(errno);
        ::close(pipe[0]);
        return outcome;
    }
    outcome.started = true;
    const Clock::time_point deadline = Clock::now() + limit;
    const auto left = [&] {
        return int(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    };
    int status = 0;
    bool open = true;
    pid_t ended = 0;
    while (ended == 0) {
        if (open) {
            pollfd readable {pipe[0], POLLIN, 0};
            // Woken at least every second to see whether it ended without
            // closing its output (a child of its own may hold it).
            if (::poll(&readable, 1, std::min(left(), 1000)) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
                if (n > 0) {
                    outcome.output.append(buffer, std::size_t(n));
                    keepEnd(outcome.output);
                } else if (n == 0 || errno != EINTR) {
                    open = false;
                }
            }
        } else {
            ::usleep(50 * 1000);
        }
        ended = ::waitpid(child, &status, WNOHANG);
        if (ended == 0 && left() == 0) {
            outcome.stopped = true;
            ::kill(-child, SIGTERM);
            for (int tries = 0; tries < 100 && (ended = ::waitpid(child, &status, WNOHANG)) == 0; ++tries)
                ::usleep(50 * 1000);
            if (ended == 0) {
                ::kill(-child, SIGKILL);
                ended = ::waitpid(child, &status, 0);
            }
        }
        if (ended < 0 && errno == EINTR)
            ended = 0;
    }
    // What the group's other members still hold open is theirs to end.
    ::kill(-child, SIGKILL);
    ::close(pipe[0]);
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    return outcome;
}

// The last lines that say something: no blank lines, no progress bars.
std::vector<std::string> lastLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t") + 1);
        if (line.empty() || line.rfind("Time:", 0) == 0 || line.find("ETA:") != std::string::npos)
            continue;
        for (char& c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?';
        }
        lines.push_back(std::move(line));
    }
    if (lines.size() > kLinesTold)
        lines.erase(lines.begin(), lines.end() - std::ptrdiff_t(kLinesTold));
    return lines;
}

QString statusMeaning(int status)
{
    switch (status) {
    case 0: return QStringLiteral("the signatures are current");
    case 52: return QStringLiteral("no connection to the signature server");
    case 54: return QStringLiteral("a download did not pass its verification");
    case 56: return QStringLiteral("its configuration was refused");
    case 57: return QStringLiteral("it could not write into the signature folder");
    case 58:
    case 59: return QStringLiteral("the server could not give the signatures; try later");
    default: return QStringLiteral("the update failed");
    }
}

bool makePrivateFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0)
        return true;
    struct stat info { };
    return errno == EEXIST && ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The configuration freshclam gets, rewritten at each run: no daemon, no
// system log, no log file of its own (what it says goes to vkupdate.log),
// and no change of user when run as root.
QString writeConfiguration(const QString& path)
{
    QByteArray text = "# Written by vkupdate.exe at each update; changes are lost.\n"
                      "DatabaseMirror database.clamav.net\n"
                      "LogSyslog no\n"
                      "LogTime no\n"
                      "Foreground yes\n";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_name)
        text += QByteArray("DatabaseOwner ") + user->pw_name + "\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return file.errorString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return {};
}

} // namespace

int main()
{
    const Clock::time_point started = Clock::now();
    const data::ProgramFiles files(companion::programFolder());
    const auto log = [&files](const QString& line) { companion::log(files, files::UpdateLog, line); };

    const QString dataFolder = companion::userDataFolder();
    const QString signatures = dataFolder + QStringLiteral("signatures");
    log(QStringLiteral("Signature update started for %1.").arg(signatures));

    const std::string freshclam = platform::onSearchPath("freshclam");
    if (freshclam.empty()) {
        log(QStringLiteral("ClamAV's freshclam is not installed (it is not on the search path): the signatures "
                           "cannot be updated. Install it (on Debian and Ubuntu the package clamav-freshclam)."));
        return NotRun;
    }
    QDir().mkpath(QFileInfo(QDir::cleanPath(dataFolder)).path());
    if (!makePrivateFolder(QDir::cleanPath(dataFolder)) || !makePrivateFolder(signatures)) {
        log(QStringLiteral("The signature folder %1 could not be made: %2.")
                .arg(signatures, QString::fromLocal8Bit(std::strerror(errno))));
        return NotRun;
    }
    const QString configuration = dataFolder + QStringLiteral("freshclam.conf");
    if (const QString problem = writeConfiguration(configuration); !problem.isEmpty()) {
        log(QStringLiteral("freshclam's configuration %1 could not be written: %2.").arg(configuration, problem));
        return NotRun;
    }

    const std::chrono::seconds limit = timeLimit();
    const Outcome outcome = runLimited(freshclam,
        {"--datadir=" + QFile::encodeName(signatures).toStdString(),
            "--config-file=" + QFile::encodeName(configuration).toStdString()},
        limit);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (!outcome.started) {
        log(QStringLiteral("freshclam (%1) could not be started: %2.")
                .arg(QString::fromStdString(freshclam), QString::fromLocal8Bit(outcome.error)));
        return NotRun;
    }
    for (const std::string& line : lastLines(outcome.output))
        log(QStringLiteral("freshclam: ") + QString::fromUtf8(line));
    const QString took = QString::number(seconds, 'f', 1);
    if (outcome.stopped) {
        log(QStringLiteral("freshclam was stopped after %1 s: it had not ended within %2 s.")
                .arg(took)
                .arg(limit.count()));
        return Failed;
    }
    if (outcome.status < 0) {
        log(QStringLiteral("freshclam ended by signal %1 after %2 s.").arg(outcome.signal).arg(took));
        return Failed;
    }
    log(QStringLiteral("freshclam ended with status %1 after %2 s: %3.")
            .arg(outcome.status)
            .arg(took, statusMeaning(outcome.status)));
    return outcome.status == 0 ? Current : Failed;
}
