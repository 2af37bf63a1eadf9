// vkprobe.exe: the scanner. `vkprobe.exe <mode> [<mount point>]`, the mode
// read from analyse.txt when no argument is given: 0 quick, 1 full (the home
// folder), 2 the programs running, 3 a volume. Writes anaviri.txt and adds
// its findings to viri.txt. Exit status: 0 clean, 1 findings, 2 not done.
#include "engine.h"
#include "platform/platform.h"
#include "report.h"
#include "scanner.h"
#include "targets.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// Blanks around a mode as one who typed it might leave them: those of
// Unicode, not only of ASCII.
bool isBlank(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
        (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The code point before `end` in valid UTF-8, and where it starts.
std::size_t previousStart(const std::string& text, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return start;
}

char32_t codePointAt(const std::string& text, std::size_t at, std::size_t* length)
{
    const auto c = static_cast<unsigned char>(text[at]);
    std::size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t i = 1; i <= extra && at + i < text.size(); ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    *length = extra + 1;
    return cp;
}

std::string trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    std::size_t length = 0;
    while (begin < end && isBlank(codePointAt(text, begin, &length)))
        begin += length;
    while (end > begin) {
        const std::size_t start = previousStart(text, end);
        if (!isBlank(codePointAt(text, start, &length)))
            break;
        end = start;
    }
    return text.substr(begin, end - begin);
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

std::string modeText(int mode, const std::string& volume)
{
    switch (mode) {
    case 0: return "0 (quick)";
    case 1: return "1 (full)";
    case 2: return "2 (running programs)";
    default: return "3 (volume " + probe::lineText(volume) + ")";
    }
}

std::string notDone(const std::string& why)
{
    return "Not done: " + probe::lineText(why);
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    const probe::ProgramFiles files(platform::dataFolder().path);

    std::string modeArgument;
    std::string volume;
    if (argc > 1) {
        modeArgument = trimmed(probe::validUtf8(argv[1]));
        if (argc > 2)
            volume = argv[2];
    } else {
        modeArgument = trimmed(files.readFlag(probe::fileName(files::ScanMode)));
    }
    const int mode =
        modeArgument.size() == 1 && modeArgument[0] >= '0' && modeArgument[0] <= '3' ? modeArgument[0] - '0' : -1;

    std::string head = "Scan of " + now();
    if (mode < 0) {
        probe::Report report(files, head);
        report.finish(notDone("unknown scan mode \"" + modeArgument + "\"; the modes are 0 to 3"));
        return NotDone;
    }
    head += ", mode " + modeText(mode, volume);
    probe::Report report(files, head);
    if (mode == 3 && volume.empty()) {
        report.finish(notDone("a volume scan needs the volume's mount point"));
        return NotDone;
    }

    std::vector<std::string> looked;
    const std::string userSignatures = platform::userDataFolder() + "signatures";
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
    char secondsText[64];
    std::snprintf(secondsText, sizeof secondsText, "%.1f", seconds);
    const std::string summary = "Done: " + std::to_string(report.scanned()) + " files scanned, " +
        std::to_string(report.findings()) + " findings, " + std::to_string(report.skipped()) + " skipped, " +
        secondsText + " s";
    if (!report.finish(summary))
        return NotDone;
    return report.findings() > 0 ? Findings : Clean;
}
