// vksave.exe "<source>;<destination>": backs the source folder's content up
// into the destination folder, new and changed files only, and writes a line
// about the run to vksave.log in the program folder.
// Exit status: 0 done, 1 done with failures, 2 refused, 3 the log could not
// be written (its lines then go to standard error).
#include "entry.h"
#include "treecopy.h"

#include "common/companion.h"
#include "common/notice.h"
#include "common/texts.h"
#include "data/filenames.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace {

using namespace corvatek;
using companion::Language;

// Past this many, failures and skips are counted, not each told.
constexpr std::size_t kNotesTold = 20;

enum Status { Done = 0, DoneWithFailures = 1, Refused = 2, LogNotWritten = 3 };

// Two open descriptors per folder level: deep trees need more than the
// usual 1024.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The record of a run is never lost unsaid: once a line could not be
// written, it and the rest go to standard error instead (the rest without
// waiting again, and leaving no gap in the log).
class Log {
public:
    Log() : files_(companion::programFolder()) { }
    void write(const std::string& line)
    {
        if (!failed_ &&
            companion::log(files_, files::BackupLog, QString::fromUtf8(line.data(), qsizetype(line.size()))))
            return;
        if (!failed_) {
            failed_ = true;
            std::fprintf(stderr,
                "vksave: the log %s could not be written (it was held past the wait, or the folder cannot be "
                "written); its lines follow.\n",
                printable(files_.path(files::BackupLog).toLocal8Bit().toStdString()).c_str());
        }
        std::fprintf(stderr, "%s\n", printable(line).c_str());
    }
    int status(int status) const { return failed_ ? LogNotWritten : status; }

private:
    // File names must not drive the terminal.
    static std::string printable(std::string text)
    {
        for (char& c : text) {
            if ((unsigned char)c < 0x20 || c == 0x7f)
                c = '?';
        }
        return text;
    }

    data::ProgramFiles files_;
    bool failed_ = false;
};

using companion::BackupText;
using companion::say;

std::string summary(Language language, const backup::Folders& folders, const backup::Report& report, double seconds)
{
    std::string line = say(language, BackupText::Summary,
        {folders.source, folders.destination, std::to_string(report.copied), std::to_string(report.copiedBytes),
            std::to_string(report.unchanged), std::to_string(report.skipped), std::to_string(report.failed)});
    if (report.leftoversRemoved > 0)
        line += say(language, BackupText::LeftoversRemoved, {std::to_string(report.leftoversRemoved)});
    return line + say(language, BackupText::Took, {companion::decimal(language, seconds, 2)});
}

// What the user is told of the run, as the control centre tells them.
void tell(const std::string& message)
{
    companion::tellUser(companion::programFolder().toStdString(), message);
}

int refuse(Log& log, Language language, const std::string& entry, const std::string& why)
{
    log.write(say(language, BackupText::Refused, {entry, why}));
    tell(say(language, companion::Text::BackupRefusedNotice, {why}));
    return log.status(Refused);
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    Log log;
    const Language language = companion::storedLanguage(companion::programFolder().toStdString());
    if (argc != 2)
        return refuse(log, language, argc > 1 ? argv[1] : "", say(language, BackupText::OneArgument));
    const std::string entry = argv[1];
    const std::optional<backup::Folders> folders = backup::splitEntry(entry);
    if (!folders)
        return refuse(log, language, entry, say(language, BackupText::NoSplit));

    const backup::Descriptor source(::open(folders->source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const backup::Descriptor destination(::open(folders->destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!source.valid() || !destination.valid())
        return refuse(log, language, entry, say(language, BackupText::FolderNotOpened, {backup::errorText(errno)}));
    if (!backup::factsAt(source.get(), "") || backup::isWithin(destination.get(), source.get()))
        return refuse(log, language, entry, say(language, BackupText::InsideSource));
    // Two runs into one folder would take each other's unfinished files
    // for leftovers.
    if (::flock(destination.get(), LOCK_EX | LOCK_NB) != 0)
        return refuse(log, language, entry, say(language, BackupText::AnotherRunning));

    raiseDescriptorLimit();
    backup::Report report;
    backup::TreeCopy(source.get(), destination.get(), report).run();
    // Told done only once it is on the disk.
    if (::syncfs(destination.get()) != 0) {
        ++report.failed;
        report.notes.push_back({true, {}, {BackupText::DiskFlushFailed, backup::errorText(errno)}});
    }

    for (std::size_t i = 0; i < report.notes.size() && i < kNotesTold; ++i) {
        const backup::Note& note = report.notes[i];
        const std::string reason = say(language, note.reason.why, {note.reason.detail});
        log.write(say(language, note.failed ? BackupText::Failed : BackupText::Skipped,
            {note.path.empty() ? folders->source : folders->source + '/' + note.path, reason}));
    }
    if (report.notes.size() > kNotesTold)
        log.write(say(language, BackupText::More, {std::to_string(report.notes.size() - kNotesTold)}));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    log.write(summary(language, *folders, report, took.count()));
    tell(report.failed > 0
            ? say(language, companion::Text::BackupFailuresNotice,
                  {folders->source, std::to_string(report.copied), std::to_string(report.failed)})
            : say(language, companion::Text::BackupDoneNotice,
                  {folders->source, std::to_string(report.copied), std::to_string(report.unchanged)}));
    return log.status(report.failed > 0 ? DoneWithFailures : Done);
}
