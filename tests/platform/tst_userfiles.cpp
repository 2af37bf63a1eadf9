#include "platform/memory.h"
#include "platform/shortcuts.h"
#include "platform/trash.h"
#include "platform/userfolders.h"
#include "privatemounts.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace corvatek;
using platform::UserFolder;

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void link(const QString& target, const QString& path)
{
    QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
}

QStringList names(const std::vector<std::string>& list)
{
    QStringList names;
    for (const auto& name : list)
        names.append(QString::fromStdString(name));
    return names;
}

QStringList entriesOf(const QString& folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray application(const QByteArray& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Tool\nExec=" + exec + "\n";
}

} // namespace

class TestUserFiles : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QString path(const QString& relative) const { return home_.filePath(relative); }

private slots:
    // Nothing here may reach the real user's folders.
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
    }

    void userFolders()
    {
        const auto folder = [](UserFolder kind) { return QString::fromStdString(platform::userFolder(kind)); };
        QCOMPARE(folder(UserFolder::Desktop), path("Desktop"));
        QCOMPARE(folder(UserFolder::Downloads), path("Downloads"));
        write(path("config/user-dirs.dirs"),
            "# xdg-user-dirs\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\nXDG_DOWNLOAD_DIR=\"/abs/dl/\"\n");
        QCOMPARE(folder(UserFolder::Desktop), path("Bureau"));
        QCOMPARE(folder(UserFolder::Downloads), QStringLiteral("/abs/dl"));
        write(path("config/user-dirs.dirs"), "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
        QCOMPARE(folder(UserFolder::Downloads), QString());
        QCOMPARE(folder(UserFolder::Desktop), path("Desktop"));
        QCOMPARE(folder(UserFolder::Cookies), QString());
        QVERIFY(QFile::remove(path("config/user-dirs.dirs")));
    }

    void deletesOnlyOrdinaryFilesOfTheFolderThatWasListed()
    {
        const QString folder = path("cache");
        for (const char* name : {"b.tmp", "a.tmp", "index.dat", ".x", "sub/inner"})
            write(folder + '/' + name, "x");
        write(path("outside.txt"), "keep");
        write(path("elsewhere/kept"), "keep");
        link(path("outside.txt"), folder + "/link");
        link(path("elsewhere"), folder + "/folderlink");
        const std::string dir = folder.toStdString();
        const auto listed = platform::ordinaryFiles(dir);
        QVERIFY(listed.readable);
        QCOMPARE(names(listed.names), QStringList({"a.tmp", "b.tmp", "index.dat"}));

        auto asked = listed.names;
        asked.insert(asked.end(), {"link", "folderlink", "sub", "sub/inner", "../outside.txt", "..", "gone"});
        QCOMPARE(platform::deleteFromFolder(dir, listed, asked), std::size_t(5));
        QCOMPARE(entriesOf(folder), QStringList({".x", "sub"}));
        QVERIFY(QFile::exists(folder + "/sub/inner") && QFile::exists(path("outside.txt")));
        QVERIFY(QFile::exists(path("elsewhere/kept")));

        // The same path, now another folder holding the same names.
        write(folder + "/a.tmp", "x");
        const auto relisted = platform::ordinaryFiles(dir);
        QVERIFY(QDir().rename(folder, path("cache.old")));
        write(folder + "/a.tmp", "x");
        QCOMPARE(platform::deleteFromFolder(dir, relisted, relisted.names), std::size_t(0));
        QVERIFY(QFile::exists(folder + "/a.tmp") && QFile::exists(path("cache.old/a.tmp")));
    }

    void brokenShortcutsAreOnlyThoseSurelyLeadingNowhere()
    {
        const QString desk = path("Desktop");
        const QByteArray tools = QFile::encodeName(path("my tools"));
        const QByteArray toolsUrl = "file://" + QByteArray(tools).replace(' ', "%20");
        write(path("my tools/run me"), "#!/bin/sh\n");
        QVERIFY(QFile::setPermissions(path("my tools/run me"), QFile::ReadOwner | QFile::ExeOwner));
        write(desk + "/gone.desktop", application(tools + "/gone"));
        link(path("nowhere"), desk + "/dangling");
        link(QStringLiteral("loop"), desk + "/loop");
        link(QStringLiteral("/"), desk + "/root");
        write(desk + "/shell.desktop", application("sh -c true"));
        write(desk + "/blanks.desktop", application('"' + tools + "/run me\" %U"));
        write(desk + "/quoted.desktop", application('"' + tools + "/gone too\" %U"));
        write(desk + "/empty.desktop", application(""));
        write(desk + "/file.desktop", "[Desktop Entry]\nType=Link\nURL=" + toolsUrl + "/gone\n");
        write(desk + "/encoded.desktop", "[Desktop Entry]\nType=Link\nURL=" + toolsUrl + "/run%20me\n");
        write(desk + "/web.desktop", "[Desktop Entry]\nType=Link\nURL=https://x\n");
        write(desk + "/junk.desktop", application("/nowhere/prog") + QByteArray("Icon=\0\x89PNG\n", 10));

        const auto broken = platform::brokenShortcuts(desk.toStdString());
        QVERIFY(broken.readable);
        QCOMPARE(
            names(broken.names), QStringList({"dangling", "file.desktop", "gone.desktop", "loop", "quoted.desktop"}));
    }

    void removesOnlyAutostartEntriesWhoseProgramIsSurelyGone()
    {
        const QString autostart = path("config/autostart");
        // Unquoted with a blank, as some installers write it.
        const QString program = path("auto start/agent");
        write(program, "#!/bin/sh\n");
        write(autostart + "/agent.desktop", application(QFile::encodeName(program) + " /autoRun"));
        write(autostart + "/shell.desktop", application("sh -c true"));
        write(autostart + "/blank.desktop", application(""));
        write(autostart + "/hidden.desktop", "[Desktop Entry]\nHidden=true\nExec=/nowhere/prog\n");
        write(autostart + "/garbage.desktop", "\x01\x02=\x03\n" + application("/nowhere/prog"));
        write(autostart + "/Corvatek.desktop", application("/nowhere/corvatek /autoRun"));
        write(autostart + "/old.desktop", application("/nowhere/old-tool --tray"));
        // A program of that name is no argument to drop.
        write(path("tools/autoRun"), "#!/bin/sh\n");
        write(autostart + "/vendor.desktop", application(QFile::encodeName(path("tools/autoRun"))));

        QCOMPARE(platform::removeDeadAutostartEntries("Corvatek"), std::vector<std::string> {"old"});
        QVERIFY(QFile::remove(program));
        QCOMPARE(platform::removeDeadAutostartEntries("Corvatek"), std::vector<std::string> {"agent"});
        QCOMPARE(entriesOf(autostart),
            QStringList({"Corvatek.desktop", "blank.desktop", "garbage.desktop", "hidden.desktop", "shell.desktop",
                "vendor.desktop"}));
    }

    // What only might be gone is kept: a volume that is not mounted, a
    // folder that cannot be read, a program on the session's search path, a
    // path with blanks written without quotes. A dead entry that hides a
    // system-wide one is hidden for good rather than deleted.
    void keepsWhatIsNotSurelyMissing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("entry"); // "-> target" makes a symbolic link
        QTest::addColumn<QString>("outcome");
        const QString desk = QStringLiteral("shortcuts"), autostart = QStringLiteral("config/autostart");
        const QByteArray absent = "/corvatek-absent-" + QByteArray::number(::getpid());
        QTest::newRow("link to an absent stick") << desk << "-> /media" + absent + "/file"
                                                 << "kept";
        QTest::newRow("link to an absent /mnt volume") << desk << "-> /mnt" + absent + "/file"
                                                       << "kept";
        QTest::newRow("link entry to an absent stick")
            << desk << "[Desktop Entry]\nType=Link\nURL=file:///run/media" + absent + "/a%20b.pdf\n"
            << "kept";
        QTest::newRow("program in an unreadable folder") << desk << application("~/locked/tool") << "kept";
        QTest::newRow("unquoted path with blanks") << desk << application("~/my tools/run me --x %U") << "kept";
        QTest::newRow("program in ~/.local/bin") << desk << application("corvatek-local-tool %U") << "kept";
        QTest::newRow("program in ~/bin") << autostart << application("corvatek-home-tool") << "kept";
        QTest::newRow("dead link") << desk << QByteArray("-> ~/nowhere") << "removed";
        QTest::newRow("unquoted path with blanks, gone") << desk << application("~/my tools/gone --x") << "removed";
        QTest::newRow("program nowhere") << desk << application("corvatek-no-such-tool") << "removed";
        QTest::newRow("dead autostart entry") << autostart << application("~/nowhere/tool") << "removed";
        QTest::newRow("dead entry over a system one") << autostart << application("~/nowhere/tool") << "hidden";
    }

    void keepsWhatIsNotSurelyMissing()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, entry);
        QFETCH(QString, outcome);
        const QByteArray home = QFile::encodeName(home_.path());
        entry.replace('~', home);
        for (const char* program : {"my tools/run me", ".local/bin/corvatek-local-tool", "bin/corvatek-home-tool"}) {
            if (!QFileInfo::exists(path(program)))
                write(path(program), "#!/bin/sh\n");
            QVERIFY(QFile::setPermissions(path(program), QFile::ReadOwner | QFile::ExeOwner));
        }
        write(path("locked/tool"), "#!/bin/sh\n");
        QVERIFY(QFile::setPermissions(path("locked"), {}));
        const QString name = outcome == "hidden" ? QStringLiteral("shadow") : QStringLiteral("entry");
        write(path("system2/autostart/shadow.desktop"), application("/usr/bin/true"));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("system1") + ':' + path("system2")));
        // A known search path: a folder on it this user cannot read would
        // leave every bare name unjudged.
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", "/usr/bin:/bin");

        const bool onDesktop = folder == "shortcuts";
        const QString file = path(folder) + '/' + name + (entry.startsWith("->") ? "" : ".desktop");
        QVERIFY(QDir().mkpath(path(folder)));
        if (entry.startsWith("->"))
            link(QFile::decodeName(entry.mid(3)), file);
        else
            write(file, entry);
        QStringList removed;
        {
            const test::OrdinaryUserFileAccess ordinaryUser;
            removed = onDesktop ? names(platform::brokenShortcuts(path(folder).toStdString()).names)
                                : names(platform::removeDeadAutostartEntries("Corvatek"));
        }
        qputenv("PATH", searchPath);
        QVERIFY(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray left = QFileInfo(file).isSymLink() ? "link" : contents(file);
        QFile::remove(file);
        QCOMPARE(
            removed, outcome == "kept" ? QStringList() : QStringList {onDesktop ? QFileInfo(file).fileName() : name});
        if (outcome == "hidden")
            QVERIFY2(left.contains("\nHidden=true\n"), left.constData());
        else
            QCOMPARE(left.isEmpty(), !onDesktop && outcome == "removed");
        QCOMPARE(entriesOf(path(folder)).filter(QStringLiteral(".desktop.")), QStringList()); // nothing half-written
    }

    // Where a volume comes and goes, a missing target counts once its
    // volume is mounted: a mount point /etc/fstab lists, or a stick below
    // /mnt (a mount of /mnt itself is no stick).
    void targetsOnVolumesCountOnceMounted()
    {
        if (!QFileInfo::exists(QStringLiteral("/etc/fstab")) || !QFileInfo(QStringLiteral("/mnt")).isDir())
            QSKIP("no /etc/fstab or /mnt to mount over");
        test::PrivateMounts mounts;
        if (!mounts.available())
            QSKIP(qPrintable(mounts.problem()));
        const QString point = QFileInfo(home_.path()).canonicalFilePath() + QStringLiteral("/back up");
        QVERIFY(QDir().mkpath(point));
        write(path("fstab"),
            "# <file system> <mount point>\nUUID=1 " + QFile::encodeName(point).replace(' ', "\\040") +
                " ext4 noauto 0 2\n/dev/sdz1 none swap sw 0 0\n");
        QVERIFY(mounts.bind(path("fstab"), QStringLiteral("/etc/fstab")));
        QVERIFY(mounts.mountTmpfs(QStringLiteral("/mnt")));
        QVERIFY(QDir().mkdir(QStringLiteral("/mnt/stick")));
        QVERIFY(mounts.mountTmpfs(QStringLiteral("/mnt/stick")));
        const QString desk = path("volumes");
        QVERIFY(QDir().mkpath(desk));
        link(point + "/file", desk + "/backup");
        link(QStringLiteral("/mnt/stick/file"), desk + "/stick");
        link(QStringLiteral("/mnt/other/file"), desk + "/other");
        QCOMPARE(names(platform::brokenShortcuts(desk.toStdString()).names), QStringList {"stick"});
        QVERIFY(mounts.mountTmpfs(point));
        QCOMPARE(names(platform::brokenShortcuts(desk.toStdString()).names), QStringList({"backup", "stick"}));
    }

    void emptiesTrashesWithoutReachingBeyondThem()
    {
        QVERIFY(QString::fromStdString(platform::trashFolders().front()) == path("data/Trash"));
        write(path("precious"), "keep");
        const QString first = path("trash1"), second = path("trash2");
        for (const char* item : {"files/report.txt", "info/report.txt.trashinfo", "files/tree/deeper/a",
                 "info/tree.trashinfo", "files/orphan"})
            write(first + '/' + item, "x");
        write(path("keepsakes/photo"), "keep");
        link(path("precious"), first + "/files/tree/deeper/link");
        link(path("keepsakes"), first + "/files/tree/deeper/folder");
        // An entry named as if for ".." must not reach the trash folder itself.
        for (const char* item :
            {"files/locked/inner", "info/locked.trashinfo", "info/gone.trashinfo", "info/...trashinfo"})
            write(second + '/' + item, "x");
        const QString locked = second + "/files/locked";
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));

        platform::TrashOutcome outcome;
        {
            const test::OrdinaryUserFileAccess ordinaryUser;
            outcome = platform::emptyTrash({first.toStdString(), second.toStdString()});
        }
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(outcome.deleted, std::size_t(4)); // report.txt, tree, orphan, and gone's entry
        QCOMPARE(outcome.kept, std::size_t(1));
        QCOMPARE(entriesOf(first + "/files") + entriesOf(first + "/info"), QStringList());
        QCOMPARE(entriesOf(second + "/info"), QStringList({"...trashinfo", "locked.trashinfo"}));
        QVERIFY(QFile::exists(locked + "/inner"));
        QVERIFY(QFile::exists(path("precious")) && QFile::exists(path("keepsakes/photo")));
    }

    // What is mounted inside a trashed folder is no part of the trash. A bind
    // mount of a folder of the same file system has the same device, so only
    // the mount itself can tell.
    void emptyingTrashStopsAtMountPoints()
    {
        test::PrivateMounts mounts;
        if (!mounts.available())
            QSKIP(qPrintable(mounts.problem()));
        const QString trash = path("trash3"), item = trash + "/files/holder";
        for (const char* name : {"files/plain", "info/plain.trashinfo", "info/holder.trashinfo", "files/holder/loose"})
            write(trash + '/' + name, "x");
        write(path("shared/letter"), "keep");
        QVERIFY(QDir().mkpath(item + "/bound") && QDir().mkpath(item + "/deep/er/stick"));
        QVERIFY(mounts.bind(path("shared"), item + "/bound"));
        QVERIFY(mounts.mountTmpfs(item + "/deep/er/stick"));
        write(item + "/deep/er/stick/data", "keep");

        const auto outcome = platform::emptyTrash({trash.toStdString()});
        QCOMPARE(outcome.deleted, std::size_t(1));
        QCOMPARE(outcome.kept, std::size_t(1));
        QCOMPARE(entriesOf(trash + "/files"), QStringList {"holder"});
        QCOMPARE(entriesOf(trash + "/info"), QStringList {"holder.trashinfo"});
        QCOMPARE(contents(item + "/bound/letter"), QByteArray("keep"));
        QCOMPARE(contents(item + "/deep/er/stick/data"), QByteArray("keep"));
        mounts.unmountAll();
        QCOMPARE(contents(path("shared/letter")), QByteArray("keep"));
    }

    void memoryOfTheMachineAndOfProcesses()
    {
        const auto status = platform::memoryStatus();
        QVERIFY(status);
        QVERIFY(status->totalBytes > status->availableBytes && status->availableBytes > 0);

        const auto before = platform::ownResidentBytes();
        QVERIFY(before && *before > 0);
        const QString ownName = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
        int seen = 0;
        for (const auto& process : platform::processMemoryList()) {
            if (process.id != ::getpid())
                continue;
            ++seen;
            QVERIFY2(process.residentBytes > *before / 2 && process.residentBytes < *before * 2,
                qPrintable(QString::number(process.residentBytes)));
            QVERIFY2(QString::fromStdString(process.name).startsWith(ownName), process.name.c_str());
        }
        QCOMPARE(seen, 1);

        constexpr std::size_t size = 64 << 20;
        const std::unique_ptr<char[]> buffer(new char[size]);
        std::memset(buffer.get(), 1, size);
        const auto after = platform::ownResidentBytes();
        QVERIFY(after && *after >= *before + size / 2);
        QCOMPARE(buffer[size / 2], char(1)); // keeps the touched pages in use
    }
};

QTEST_GUILESS_MAIN(TestUserFiles)
#include "tst_userfiles.moc"
