// vkprobe.exe: the scanner. `vkprobe.exe <mode> [<mount point>]`, the mode
// read from analyse.txt when no argument is given: 0 quick, 1 full (the home
// folder), 2 the programs running, 3 a volume. Writes anaviri.txt and adds
// its findings to viri.txt. Exit status: 0 clean, 1 findings, 2 not done,
// 3 nothing found but not everything scanned.
#include "common/notice.h"
#include "common/texts.h"
#include "engine.h"
#include "modeargument.h"
#include "platform/datafolder.h"
#include "platform/userfolders.h"
#include "report.h"
#include "scanner.h"
#include "scanning/guardclient.h"
#include "targets.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <optional>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvatek;

namespace {

enum ExitStatus { Clean = 0, Findings = 1, NotDone = 2, NotAllScanned = 3 };

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

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    char text[32];
    if (!::localtime_r(&t, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
        return {};
    return text;
}

using companion::say;
using companion::Text;

std::string modeText(companion::Language language, ScanMode mode, const std::string& volume)
{
    switch (mode) {
    case ScanMode::Quick: return say(language, Text::ModeQuick);
    case ScanMode::Full: return say(language, Text::ModeFull);
    case ScanMode::RunningPrograms: return say(language, Text::ModeRunning);
    case ScanMode::Volume: break;
    }
    return say(language, Text::ModeVolume, {probe::lineText(volume)});
}

probe::Engine::Verdict verdictOf(const scanning::guard::Answer& answer)
{
    using scanning::guard::Answer;
    switch (answer.kind) {
    case Answer::Clean: return {probe::Engine::Verdict::Clean, {}, {}};
    case Answer::Found: return {probe::Engine::Verdict::Found, answer.detail, {}};
    case Answer::Ready:
    case Answer::Guarding: break;
    case Answer::Error:
        if (answer.detail == scanning::guard::reason::BeyondLimits)
            return {probe::Engine::Verdict::BeyondLimits, {}, {}};
        break;
    }
    return {probe::Engine::Verdict::Failed, {}, answer.detail};
}

// The end of a scan: the report's last line, then the user told of what
// needs them, as the control centre tells them.
int finish(probe::Report& report, const std::string& last, ExitStatus status, const std::string& notice)
{
    const bool written = report.finish(last);
    if (!notice.empty())
        companion::tellUser(platform::dataFolder().path, notice);
    return written ? status : NotDone;
}

int notDone(probe::Report& report, const std::string& why)
{
    const companion::Language language = report.language();
    return finish(report, say(language, Text::NotDone, {probe::lineText(why)}), NotDone,
        say(language, Text::ScanNotDoneNotice, {probe::lineText(why)}));
}

std::string fileNameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// Each mode's scan gives why it could not be done, or nothing.
using ScanProblem = std::optional<std::string>;

ScanProblem folderUnreadable(companion::Language language, const std::string& folder, const std::string& why)
{
    return say(language, Text::FolderUnreadable, {probe::lineText(folder), why});
}

// The downloads and desktop folders, then the programs started at log-on.
ScanProblem scanQuick(probe::Scanner& scanner, probe::Report& report)
{
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
    return std::nullopt;
}

ScanProblem scanHome(probe::Scanner& scanner, companion::Language language)
{
    const std::string home = homeFolder();
    if (home.empty())
        return say(language, Text::HomeUnknown);
    if (auto failed = scanner.scanFolder(home, true))
        return folderUnreadable(language, home, *failed);
    return std::nullopt;
}

ScanProblem scanRunningPrograms(probe::Scanner& scanner)
{
    scanner.scanRunningPrograms();
    return std::nullopt;
}

ScanProblem scanVolume(probe::Scanner& scanner, companion::Language language, const std::string& volume)
{
    if (auto failed = scanner.scanFolder(volume, true))
        return folderUnreadable(language, volume, *failed);
    return std::nullopt;
}

ScanProblem scan(ScanMode mode, probe::Scanner& scanner, probe::Report& report, const std::string& volume)
{
    switch (mode) {
    case ScanMode::Quick: return scanQuick(scanner, report);
    case ScanMode::Full: return scanHome(scanner, report.language());
    case ScanMode::RunningPrograms: return scanRunningPrograms(scanner);
    case ScanMode::Volume: break;
    }
    return scanVolume(scanner, report.language(), volume);
}

// Why files went unscanned, each kind in a note of its own.
void addUnscannedNotes(probe::Report& report, const probe::Scanner& scanner)
{
    const companion::Language language = report.language();
    using probe::Unscanned;
    if (const std::size_t deep = report.unscanned(Unscanned::TooDeep))
        report.addNote(
            say(language, Text::NotScannedDeep, {std::to_string(deep), std::to_string(scanner.deepestFolder())}));
    if (const std::size_t large = report.unscanned(Unscanned::TooLarge))
        report.addNote(
            say(language, Text::NotScannedLarge, {std::to_string(large), std::to_string(probe::kMaxFileSize >> 20)}));
    if (const std::size_t beyond = report.unscanned(Unscanned::BeyondLimits)) {
        const std::string limits = std::to_string(probe::kMaxScanSize >> 20) + " MiB, " +
            std::to_string(probe::kMaxFiles) + ", " + std::to_string(probe::kMaxRecursion);
        report.addNote(say(language, Text::NotFullyScanned, {std::to_string(beyond), limits}));
    }
}

// The end of a scan that was done: its figures, and the findings told.
int summarise(probe::Report& report, std::chrono::steady_clock::duration took)
{
    const companion::Language language = report.language();
    const std::string seconds = companion::decimal(language, std::chrono::duration<double>(took).count());
    const std::string scanned = std::to_string(report.scanned());
    const std::string findings = std::to_string(report.findings());
    const std::string skipped = std::to_string(report.skipped());
    const std::size_t unscanned = report.unscanned();
    const std::string summary = unscanned > 0
        ? say(language, Text::DoneIncomplete, {scanned, findings, skipped, std::to_string(unscanned), seconds})
        : say(language, Text::Done, {scanned, findings, skipped, seconds});
    std::string notice;
    if (report.findings() > 0) {
        std::string names;
        for (const std::string& path : report.firstFindings(3))
            names += (names.empty() ? "" : ", ") + fileNameOf(path);
        if (report.findings() > 3)
            names += ", …";
        notice = say(language, Text::ScanFoundNotice, {findings, names});
    }
    const ExitStatus status = report.findings() > 0 ? Findings : unscanned > 0 ? NotAllScanned : Clean;
    return finish(report, summary, status, notice);
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    // libclamav's large buffers are given back when freed, not kept in the
    // heap for the rest of a long scan.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const std::string folder = platform::dataFolder().path;
    const probe::SharedFiles files(folder);
    const companion::Language language = companion::storedLanguage(folder);

    std::string volume;
    if (argc > 2)
        volume = argv[2];
    const probe::ModeArgument argument =
        probe::scanMode(argc > 1 ? std::string_view(argv[1]) : files.readFlag(probe::fileName(files::ScanMode)));
    if (!argument.mode) {
        probe::Report report(files, language, say(language, Text::ScanHead, {now()}));
        return notDone(report, say(language, Text::UnknownMode, {argument.text}));
    }
    const ScanMode mode = *argument.mode;
    probe::Report report(files, language,
        say(language, Text::ScanHead, {now()}) + say(language, Text::ModeOf, {modeText(language, mode, volume)}));
    if (mode == ScanMode::Volume && volume.empty())
        return notDone(report, say(language, Text::VolumeNeedsMountPoint));

    report.setActivity(say(language, Text::LoadingSignatures));
    report.startProgress();
    // The guard service has its engine loaded: a scan through it starts at
    // once. Without it the scan loads its own.
    scanning::guard::Client guard(scanning::guard::chosenSocket());
    bool throughGuard = guard.ready();
    std::optional<probe::ScratchFolder> scratch;
    probe::Engine engine;
    const auto loadOwn = [&]() -> std::string {
        scratch.emplace();
        const probe::SignatureLoad signatures = probe::loadSignatures(engine, scratch->path(), language);
        for (const std::string& note : signatures.notes)
            report.addNote(note);
        return signatures.problem;
    };
    if (!throughGuard) {
        if (const std::string problem = loadOwn(); !problem.empty())
            return notDone(report, problem);
    }
    // A service that goes away mid-scan is asked once more, on a new
    // connection; after that the scan goes on with its own engine.
    const probe::Verdicts verdicts = [&](int fd, const std::string& path) -> probe::Engine::Verdict {
        if (throughGuard) {
            std::optional<scanning::guard::Answer> answer = guard.ask(scanning::guard::Request::Scan, fd);
            if (!answer && guard.connect())
                answer = guard.ask(scanning::guard::Request::Scan, fd);
            if (answer)
                return verdictOf(*answer);
            throughGuard = false;
            if (const std::string problem = loadOwn(); !problem.empty())
                report.addNote(problem);
        }
        if (!engine.loaded())
            return {probe::Engine::Verdict::Failed, {}, {}};
        return engine.scan(fd, path);
    };

    probe::Scanner scanner(verdicts, report, deepestWalk());
    if (const ScanProblem problem = scan(mode, scanner, report, volume))
        return notDone(report, *problem);

    addUnscannedNotes(report, scanner);
    return summarise(report, std::chrono::steady_clock::now() - started);
}
