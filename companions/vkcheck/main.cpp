// vkcheck.exe, the disk check, as the disk check page starts it:
//   vkcheck.exe 0 0          the health of the machine's disks
//   vkcheck.exe 1 [folder]   every file under the folder (the home folder
//                            when none) read through to the end
//   vkcheck.exe 2            liste2.txt: the files that can safely go
// Each run writes what it found to vkcheck.log, in the user's language, and
// tells the user what needs them. Exit status: 0 done, 1 the mode could not
// run, 2 bad arguments.
#include "checktexts.h"
#include "cleanlist.h"
#include "health.h"
#include "readcheck.h"

#include "common/companion.h"
#include "common/notice.h"
#include "data/filenames.h"
#include "data/values.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <cstring>
#include <unistd.h>

using namespace corvatek;
using companion::CheckText;
using Clock = std::chrono::steady_clock;

namespace {

// The page reads liste2.txt 42 s after starting the tool: the list is
// written before that whatever the walk still had to do.
constexpr auto kListTime = std::chrono::seconds(32);

class Run {
public:
    Run()
        : files_(companion::programFolder()), folder_(QFile::encodeName(files_.folder()).toStdString()),
          language_(companion::storedLanguage(folder_))
    {
    }

    int health()
    {
        line(CheckText::HealthHeader);
        const vkcheck::Health health = vkcheck::checkHealth();
        if (!health.problem.empty()) {
            line(CheckText::HealthUnavailable, {health.problem});
            tell(CheckText::NoticeCannot, {say(CheckText::HealthUnavailable, {health.problem})});
        } else if (health.drives.empty()) {
            line(CheckText::NoDrives);
        }
        for (const vkcheck::DriveHealth& drive : health.drives) {
            using Verdict = vkcheck::DriveHealth::Verdict;
            const CheckText verdict = drive.verdict == Verdict::Healthy ? CheckText::DriveHealthy
                : drive.verdict == Verdict::AtRisk                      ? CheckText::DriveAtRisk
                : drive.verdict == Verdict::Failing                     ? CheckText::DriveFailing
                                                                        : CheckText::DriveNoReport;
            line(verdict, {drive.name});
            if (drive.verdict == Verdict::NoReport)
                continue;
            if (drive.celsius)
                line(CheckText::Temperature, {QString::number(*drive.celsius, 'f', 0).toStdString()});
            if (drive.reallocated || drive.pending || drive.uncorrectable)
                line(CheckText::Sectors, {count(drive.reallocated), count(drive.pending), count(drive.uncorrectable)});
            if (!drive.refreshed)
                line(CheckText::NotRefreshed);
            if (drive.verdict == Verdict::Failing)
                tell(CheckText::NoticeFailing, {drive.name});
            else if (drive.verdict == Verdict::AtRisk)
                tell(CheckText::NoticeAtRisk, {drive.name});
        }
        for (const vkcheck::FileSystemErrors& fileSystem : health.fileSystems) {
            if (fileSystem.errors > 0) {
                line(CheckText::FileSystemErrors,
                    {fileSystem.device, fileSystem.mountPoint, std::to_string(fileSystem.errors)});
                tell(CheckText::NoticeFileSystem,
                    {fileSystem.mountPoint.empty() ? fileSystem.device : fileSystem.mountPoint});
            } else {
                line(CheckText::FileSystemClean, {fileSystem.device, fileSystem.mountPoint});
            }
        }
        return finish(health.problem.empty() ? 0 : 1);
    }

    int readCheck(std::string folder)
    {
        if (folder.empty())
            folder = QFile::encodeName(QDir::homePath()).toStdString();
        line(CheckText::ReadHeader, {folder});
        const vkcheck::ReadCheck check = vkcheck::readCheck(folder);
        if (!check.opened) {
            line(CheckText::FolderUnopened, {folder, std::strerror(check.error)});
            tell(CheckText::NoticeCannot, {say(CheckText::FolderUnopened, {folder, std::strerror(check.error)})});
            return finish(1);
        }
        line(CheckText::ReadSummary,
            {std::to_string(check.files), size(check.bytes), std::to_string(check.unreadable.size()),
                std::to_string(check.denied), std::to_string(check.failed)});
        for (const std::string& path : check.unreadable)
            line(CheckText::Unreadable, {path});
        if (!check.unreadable.empty())
            tell(CheckText::NoticeUnreadable, {std::to_string(check.unreadable.size()), folder});
        return finish(0);
    }

    int listFiles()
    {
        line(CheckText::ListHeader);
        vkcheck::CleanRules rules;
        rules.home = QFile::encodeName(QDir::homePath()).toStdString();
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        rules.cache = cache.startsWith('/') ? cache.toStdString() : rules.home + "/.cache";
        rules.programFolder = folder_;
        rules.user = ::getuid();
        rules.now = std::chrono::system_clock::now();
        rules.deadline = Clock::now() + kListTime;
        const vkcheck::CleanList list = vkcheck::listFiles(rules);
        if (list.error != 0) {
            line(CheckText::FolderUnopened, {rules.home, std::strerror(list.error)});
            tell(CheckText::NoticeCannot, {say(CheckText::FolderUnopened, {rules.home, std::strerror(list.error)})});
        }
        QStringList paths;
        paths.reserve(qsizetype(list.files.size()));
        for (const std::string& path : list.files)
            paths << QFile::decodeName(QByteArray::fromStdString(path));
        // Written even when empty: the page would show an earlier run's list.
        if (const data::FileResult written = files_.writeLines(files::DiskCheckList, paths); !written.ok()) {
            line(CheckText::ListNotWritten, {written.error.toStdString()});
            return finish(1);
        }
        line(CheckText::ListSummary,
            {std::to_string(list.files.size()), size(list.bytes), std::to_string(list.filesLookedAt)});
        if (!list.complete)
            line(CheckText::ListCut);
        if (!list.files.empty())
            tell(CheckText::NoticeListed, {std::to_string(list.files.size()), size(list.bytes)});
        return finish(list.error == 0 ? 0 : 1);
    }

    int badArguments(const std::string& given)
    {
        line(CheckText::BadArguments, {given});
        return finish(2);
    }

private:
    std::string say(CheckText text, std::initializer_list<std::string_view> arguments = {}) const
    {
        return companion::say(language_, text, arguments);
    }

    void line(CheckText text, std::initializer_list<std::string_view> arguments = {})
    {
        lines_ << QString::fromStdString(say(text, arguments));
    }

    void tell(CheckText text, std::initializer_list<std::string_view> arguments)
    {
        if (notice_.empty())
            notice_ = say(text, arguments);
    }

    static std::string count(const std::optional<long long>& value) { return value ? std::to_string(*value) : "?"; }

    std::string size(long long bytes) const
    {
        return QLocale(QString::fromLatin1(localisation::kLanguageNames[std::size_t(language_)].iso))
            .formattedDataSize(bytes)
            .toStdString();
    }

    int finish(int status)
    {
        companion::log(files_, files::DiskCheckLog, lines_);
        if (!notice_.empty())
            companion::tellUser(folder_, notice_);
        return status;
    }

    data::ProgramFiles files_;
    std::string folder_;
    companion::Language language_;
    QStringList lines_;
    std::string notice_; // the first thing the user must hear of
};

} // namespace

int main(int argc, char** argv)
{
    // The system bus is a Qt connection, which wants an application.
    QCoreApplication application(argc, argv);
    Run run;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == fileText(DiskCheckMode::WholeDisk) && argc == 3 && argv[2] == kWholeDiskArgument)
        return run.health();
    if (mode == fileText(DiskCheckMode::Folder)) {
        // The page quotes a folder with blanks; a start that split it anyway
        // still names one folder.
        std::string folder;
        for (int i = 2; i < argc; ++i)
            folder += (i > 2 ? " " : "") + std::string(argv[i]);
        return run.readCheck(folder);
    }
    if (mode == fileText(DiskCheckMode::ListFiles) && argc == 2)
        return run.listFiles();
    std::string given;
    for (int i = 1; i < argc; ++i)
        given += (i > 1 ? " " : "") + std::string(argv[i]);
    return run.badArguments(given);
}
