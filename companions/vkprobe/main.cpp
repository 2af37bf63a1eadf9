// vkprobe.exe: the scanner. `vkprobe.exe <mode> [<mount point>]`, the mode
// read from analyse.txt when no argument is given: 0 quick, 1 full (the home
// folder), 2 the programs running, 3 a volume. Writes anaviri.txt and adds
// its findings to viri.txt. Exit status: 0 clean, 1 findings, 2 not done.
#include "common/companion.h"
#include "data/filenames.h"
#include "engine.h"
#include "platform/platform.h"
#include "report.h"
#include "scanner.h"
#include "targets.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvatek;

namespace {

enum ExitStatus { Clean = 0, Findings = 1, NotDone = 2 };

// A folder level holds a descriptor while the levels below it are walked:
// the deepest walk follows from the descriptors a process may open, less
// those libclamav needs for a file.
std::size_t deepestWalk()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 512;
    if (limit.rlim_cur < limit.rlim_max && limit.rlim_cur < 65536) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return std::clamp<std::size_t>(std::size_t(limit.rlim_cur), 128, 65536) - 64;
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : std::string();
}

QByteArray modeText(int mode, const std::string& volume)
{
    switch (mode) {
    case 0: return "0 (quick)";
    case 1: return "1 (full)";
    case 2: return "2 (running programs)";
    default: return "3 (volume " + probe::lineText(volume) + ")";
    }
}

QByteArray notDone(const std::string& why)
{
    return "Not done: " + probe::lineText(why);
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    const data::ProgramFiles files(companion::programFolder());

    QString modeArgument;
    std::string volume;
    if (argc > 1) {
        modeArgument = QString::fromLocal8Bit(argv[1]).trimmed();
        if (argc > 2)
            volume = argv[2];
    } else {
        modeArgument = files.readFlag(files::ScanMode).value.value_or(QString()).trimmed();
    }
    const int mode =
        modeArgument.size() == 1 && modeArgument[0] >= QLatin1Char('0') && modeArgument[0] <= QLatin1Char('3')
        ? modeArgument[0].unicode() - '0'
        : -1;

    QByteArray head =
        "Scan of " + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    if (mode < 0) {
        probe::Report report(files, head);
        report.finish(notDone("unknown scan mode \"" + modeArgument.toStdString() + "\"; the modes are 0 to 3"));
        return NotDone;
    }
    head += ", mode " + modeText(mode, volume);
    probe::Report report(files, head);
    if (mode == 3 && volume.empty()) {
        report.finish(notDone("a volume scan needs the volume's mount point"));
        return NotDone;
    }

    std::vector<std::string> looked;
    const std::string userSignatures =
        QFile::encodeName(companion::userDataFolder() + QStringLiteral("signatures")).toStdString();
    const auto signatures = probe::signatureFolder(userSignatures, looked);
    if (!signatures) {
        std::string where;
        for (const std::string& folder : looked)
            where += (where.empty() ? "" : " nor in ") + folder;
        report.finish(notDone("there are no signatures in " + where +
            ". Get them with the suite's signature update, or install ClamAV's freshclam and run it."));
        return NotDone;
    }

    report.setActivity("loading the signatures");
    report.startProgress();
    const probe::ScratchFolder scratch;
    probe::Engine engine;
    std::string problem = engine.load(*signatures, scratch.path());
    if (problem.empty() && engine.signatureCount() == 0)
        problem = "the database in " + *signatures + " holds no signatures";
    if (!problem.empty()) {
        report.finish(notDone(problem));
        return NotDone;
    }

    probe::Scanner scanner(engine, report, deepestWalk());
    switch (mode) {
    case 0: {
        std::vector<std::string> folders;
        for (const auto kind : {platform::UserFolder::Downloads, platform::UserFolder::Desktop}) {
            const std::string folder = platform::userFolder(kind);
            if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
        }
        scanner.setRoots(folders);
        for (const std::string& folder : folders) {
            int error = 0;
            // A user without a downloads folder has nothing there to scan.
            if (scanner.scanFolder(folder, false, &error) && error != ENOENT)
                report.countSkipped();
        }
        for (const std::string& program : probe::autostartPrograms())
            scanner.scanProgram(program);
        break;
    }
    case 1: {
        const std::string home = homeFolder();
        if (home.empty())
            problem = "the home folder is unknown";
        else if (auto failed = scanner.scanFolder(home, true))
            problem = *failed;
        break;
    }
    case 2: scanner.scanRunningPrograms(); break;
    default:
        if (auto failed = scanner.scanFolder(volume, true))
            problem = *failed;
        break;
    }
    if (!problem.empty()) {
        report.finish(notDone(problem));
        return NotDone;
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const QByteArray summary = "Done: " + QByteArray::number(qulonglong(report.scanned())) + " files scanned, " +
        QByteArray::number(qulonglong(report.findings())) + " findings, " +
        QByteArray::number(qulonglong(report.skipped())) + " skipped, " + QByteArray::number(seconds, 'f', 1) + " s";
    if (!report.finish(summary))
        return NotDone;
    return report.findings() > 0 ? Findings : Clean;
}
