// vkupdate.exe: the signature update. Brings the user's own signature
// folder up to date with ClamAV's freshclam and tells in vkupdate.log what
// happened. Arguments are ignored (the control centre passes "0").
// Exit status: 0 signatures current, 1 freshclam failed or was stopped, 2
// nothing could be run.
#include "common/companion.h"
#include "common/notice.h"
#include "common/texts.h"
#include "data/filenames.h"
#include "output.h"
#include "platform/datafolder.h"
#include "platform/files.h"
#include "platform/linux/searchpath.h"
#include "platform/system.h"
#include "runner.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvatek;
using companion::say;
using companion::UpdateText;
using Clock = std::chrono::steady_clock;

namespace {

enum ExitStatus { Current = 0, Failed = 1, NotRun = 2 };

// freshclam can hang on a dead mirror; the suite's next run tries again.
constexpr std::chrono::seconds kDefaultLimit {600};

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

UpdateText statusMeaning(int status)
{
    switch (status) {
    case 0: return UpdateText::Current;
    case 52: return UpdateText::NoConnection;
    case 54: return UpdateText::NotVerified;
    case 56: return UpdateText::ConfigurationRefused;
    case 57: return UpdateText::CannotWrite;
    case 58:
    case 59: return UpdateText::ServerBusy;
    default: return UpdateText::UpdateFailed;
    }
}

// The configuration freshclam gets, rewritten at each run: no daemon, no
// system log, no log file of its own (what it says goes to vkupdate.log),
// and no change of user when run as root. Written beside its name and
// renamed over it: a link planted at the name is replaced, never followed.
std::string writeConfiguration(const QString& path)
{
    std::string text = "# Written by vkupdate.exe at each update; changes are lost.\n"
                       "DatabaseMirror database.clamav.net\n"
                       "LogSyslog no\n"
                       "LogTime no\n"
                       "Foreground yes\n";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_name)
        text += std::string("DatabaseOwner ") + user->pw_name + "\n";
    return platform::replaceFileContents(QFile::encodeName(path).toStdString(), text).value_or(std::string());
}

QString local(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str());
}

} // namespace

int main()
{
    // Before anything else: a stop from now on ends what was started too.
    const bool caught = update::catchSignals();
    const int signalError = caught ? 0 : errno;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const Clock::time_point started = Clock::now();
    const data::ProgramFiles files(companion::programFolder());
    const std::string folder = companion::programFolder().toStdString();
    const companion::Language language = companion::storedLanguage(folder);
    const auto log = [&](const std::string& line) {
        companion::log(files, files::UpdateLog, QString::fromStdString(line));
    };
    // A failed update is told to the user; the log says the whole of it.
    const auto failed = [&](const std::string& line, const std::string& why, ExitStatus status) {
        log(line);
        companion::tellUser(folder, say(language, companion::Text::UpdateFailedNotice, {why}));
        return status;
    };

    const QString dataFolder = companion::userDataFolder();
    const QString signatures = dataFolder + QStringLiteral("signatures");
    const std::string signaturesText = signatures.toStdString();
    log(say(language, UpdateText::Started, {signaturesText}));
    if (!caught) {
        const std::string why = std::strerror(signalError);
        return failed(say(language, UpdateText::NotPrepared, {why}), why, NotRun);
    }

    const std::string freshclam = platform::onSearchPath("freshclam");
    if (freshclam.empty()) {
        const std::string line = say(language, UpdateText::NoFreshclam);
        return failed(line, line, NotRun);
    }
    if (const std::string why = platform::makeUserFolder(QFile::encodeName(signatures).toStdString()); !why.empty())
        return failed(say(language, UpdateText::FolderNotMade, {signaturesText, why}), why, NotRun);
    const QString configuration = dataFolder + QStringLiteral("freshclam.conf");
    if (const std::string problem = writeConfiguration(configuration); !problem.empty())
        return failed(say(language, UpdateText::ConfigurationNotWritten, {configuration.toStdString(), problem}),
            problem, NotRun);

    const std::chrono::seconds limit = timeLimit();
    const update::Outcome outcome = update::runLimited(freshclam,
        {"--datadir=" + QFile::encodeName(signatures).toStdString(),
            "--config-file=" + QFile::encodeName(configuration).toStdString()},
        limit);
    const std::string took =
        companion::decimal(language, std::chrono::duration<double>(Clock::now() - started).count());
    if (!outcome.started)
        return failed(say(language, UpdateText::NotStarted, {freshclam, local(outcome.error).toStdString()}),
            outcome.error, NotRun);
    for (const std::string& line : update::lastLines(outcome.output))
        log(say(language, UpdateText::FreshclamSaid, {line}));
    const std::string stoppedAfter = say(language, UpdateText::StoppedAfter, {took});
    if (outcome.told)
        return failed(say(language, UpdateText::ToldToStop, {std::to_string(outcome.told), took}), stoppedAfter,
            Failed);
    if (outcome.stopped)
        return failed(say(language, UpdateText::PastLimit, {took, std::to_string(limit.count())}), stoppedAfter,
            Failed);
    if (outcome.status < 0)
        return failed(say(language, UpdateText::EndedBySignal, {std::to_string(outcome.signal), took}),
            say(language, UpdateText::UpdateFailed), Failed);
    const std::string meaning = say(language, statusMeaning(outcome.status));
    const std::string line = say(language, UpdateText::EndedWith, {std::to_string(outcome.status), took, meaning});
    if (outcome.status != 0)
        return failed(line, meaning, Failed);
    log(line);
    return Current;
}
