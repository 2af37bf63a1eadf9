#include "data/filenames.h"
#include "privatemounts.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

using namespace corvatek;
using corvatek::test::PrivateMounts;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

struct stat factsOf(const QString& path)
{
    struct stat facts { };
    if (::lstat(native(path).constData(), &facts) != 0)
        facts.st_mode = 0;
    return facts;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void write(const QString& path, const QByteArray& bytes, mode_t mode = 0644)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QCOMPARE(::chmod(native(path).constData(), mode), 0);
}

void setTime(const QString& path, time_t seconds, long nanoseconds)
{
    const timespec times[2] {{seconds, nanoseconds}, {seconds, nanoseconds}};
    QCOMPARE(::utimensat(AT_FDCWD, native(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray linkTarget(const QString& path)
{
    char target[4096];
    const ssize_t n = ::readlink(native(path).constData(), target, sizeof target);
    return n < 0 ? QByteArray("(none)") : QByteArray(target, n);
}

bool isTemporary(const QString& name)
{
    return name.startsWith(QLatin1String(".vksave-")) && name.endsWith(QLatin1String(".part"));
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// What differs between a source tree and its backup: kinds, content,
// permissions, owners, modification times, link targets. Special files must
// be absent from the backup.
void compareTrees(const QString& source, const QString& backup, QStringList& differences)
{
    const struct stat a = factsOf(source);
    const struct stat b = factsOf(backup);
    const auto differ = [&](const char* what) {
        differences.append(backup + QStringLiteral(": ") + QLatin1String(what));
    };
    if (!S_ISREG(a.st_mode) && !S_ISDIR(a.st_mode) && !S_ISLNK(a.st_mode)) {
        if (b.st_mode != 0)
            differ("a special file was copied");
        return;
    }
    if ((a.st_mode & S_IFMT) != (b.st_mode & S_IFMT))
        return differ("kind");
    if (S_ISLNK(a.st_mode)) {
        if (linkTarget(source) != linkTarget(backup))
            differ("link target");
        return;
    }
    if ((a.st_mode & 07777) != (b.st_mode & 07777))
        differ("permissions");
    if (a.st_uid != b.st_uid || a.st_gid != b.st_gid)
        differ("owner");
    if (S_ISREG(a.st_mode) && contentOf(source) != contentOf(backup))
        differ("content");
    if (S_ISDIR(a.st_mode)) {
        for (const QString& name : entriesOf(source))
            compareTrees(source + u'/' + name, backup + u'/' + name, differences);
    }
    if (a.st_mtim.tv_sec != b.st_mtim.tv_sec || a.st_mtim.tv_nsec != b.st_mtim.tv_nsec)
        differ("modification time");
}

QStringList differences(const QString& source, const QString& backup)
{
    QStringList found;
    compareTrees(source, backup, found);
    return found;
}

// Every entry below `folder`, by path, with its inode.
QMap<QString, ino_t> inodes(const QString& folder)
{
    QMap<QString, ino_t> found;
    for (const QString& name : entriesOf(folder)) {
        const QString path = folder + u'/' + name;
        found.insert(path, factsOf(path).st_ino);
        if (S_ISDIR(factsOf(path).st_mode))
            found.insert(inodes(path));
    }
    return found;
}

QStringList temporaries(const QString& folder)
{
    QStringList found = inodes(folder).keys();
    found.removeIf([](const QString& path) { return !isTemporary(path.section(u'/', -1)); });
    return found;
}

class Backup {
public:
    Backup() : program_(folder_.file(QStringView(files::BackupTool).toString()))
    {
        if (!QFile::copy(QStringLiteral(CORVATEK_VKSAVE), program_) ||
            !QFile::setPermissions(program_, QFile::ReadOwner | QFile::ExeOwner))
            qFatal("cannot put vksave.exe in the program folder");
        QDir().mkpath(source());
        QDir().mkpath(destination());
        folder_.speak("GB");
    }

    QString source() const { return work_.path() + QStringLiteral("/source"); }
    QString destination() const { return work_.path() + QStringLiteral("/backup"); }
    QString path(const QString& name) const { return work_.path() + u'/' + name; }
    QString programFile(const QString& name) const { return folder_.file(name); }
    const TestFolder& folder() const { return folder_; }
    QString entry() const { return source() + u';' + destination(); }

    void start(QProcess& process, const QString& argument) const { process.start(program_, {argument}); }

    int run(const QString& argument) const
    {
        QProcess process;
        start(process, argument);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    int run() const { return run(entry()); }

    QStringList log() const
    {
        return QString::fromUtf8(folder_.read(QStringView(files::BackupLog).toString()))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    QString lastLine() const { return log().value(log().size() - 1); }

private:
    TestFolder folder_;
    QTemporaryDir work_;
    QString program_;
};

} // namespace

class TestVkSave : public QObject {
    Q_OBJECT

private slots:
    void backsUpATreeThenOnlyWhatChanged()
    {
        const Backup backup;
        const QString s = backup.source() + u'/';
        QVERIFY(QDir().mkpath(s + QStringLiteral("sub/deep")));
        QVERIFY(QDir().mkpath(s + QStringLiteral("empty")));
        QCOMPARE(::chmod(native(s + QStringLiteral("empty")).constData(), 0750), 0);
        write(s + QStringLiteral("a.txt"), "alpha");
        write(s + QStringLiteral("sub/b.bin"), randomBytes(1 << 20), 0640);
        setTime(s + QStringLiteral("sub/b.bin"), 1577836800, 123456789);
        write(s + QStringLiteral("sub/deep/readonly.txt"), "keep me", 0444);
        write(s + QStringLiteral("Ünïcødé 文件;.txt"), "non-ASCII");
        if (::geteuid() == 0)
            QCOMPARE(::chown(native(s + QStringLiteral("a.txt")).constData(), 1234, 5678), 0);
        {
            QFile sparse(s + QStringLiteral("sparse.img"));
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            sparse.write(QByteArray(4096, 'x'));
            QVERIFY(sparse.seek(64 << 20));
            sparse.write(QByteArray(4096, 'y'));
        }
        QVERIFY(QFile::link(QStringLiteral("a.txt"), s + QStringLiteral("to-file")));
        QVERIFY(QFile::link(QStringLiteral("sub"), s + QStringLiteral("to-folder")));
        QVERIFY(QFile::link(QStringLiteral("missing/nowhere"), s + QStringLiteral("dangling")));
        QCOMPARE(::mkfifo(native(s + QStringLiteral("pipe")).constData(), 0600), 0);
        setTime(s + QStringLiteral("sub/deep"), 1600000000, 5);
        write(backup.destination() + QStringLiteral("/kept.txt"), "not in the source");

        QCOMPARE(backup.run(), 0);
        QStringList found = differences(backup.source(), backup.destination());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
        QCOMPARE(contentOf(backup.destination() + QStringLiteral("/kept.txt")), QByteArray("not in the source"));
        const struct stat sparse = factsOf(backup.destination() + QStringLiteral("/sparse.img"));
        QVERIFY2(sparse.st_blocks * 512 < (1 << 20), qPrintable(QString::number(sparse.st_blocks)));
        QVERIFY(backup.log().join(u'\n').contains(
            QStringLiteral("Not backed up (skipped): \"") + s + QStringLiteral("pipe\", a named pipe")));
        QVERIFY2(backup.lastLine().contains(QStringLiteral(" unchanged, 1 skipped, 0 failed")),
            qPrintable(backup.lastLine()));

        const QMap<QString, ino_t> first = inodes(backup.destination());
        QCOMPARE(backup.run(), 0);
        QVERIFY2(backup.lastLine().contains(QStringLiteral(": 0 copied (0 bytes), 8 unchanged")),
            qPrintable(backup.lastLine()));
        QCOMPARE(inodes(backup.destination()), first);

        // Same size, new content and time; permissions alone; a new file.
        write(s + QStringLiteral("sub/b.bin"), randomBytes(1 << 20), 0640);
        QCOMPARE(::chmod(native(s + QStringLiteral("a.txt")).constData(), 0600), 0);
        write(s + QStringLiteral("sub/deep/new.txt"), "new");
        QCOMPARE(backup.run(), 0);
        found = differences(backup.source(), backup.destination());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
        QVERIFY2(
            backup.lastLine().contains(QStringLiteral(": 2 copied (1048579 bytes)")), qPrintable(backup.lastLine()));
        const QMap<QString, ino_t> third = inodes(backup.destination());
        const QString d = backup.destination() + u'/';
        QVERIFY(third[d + QStringLiteral("sub/b.bin")] != first[d + QStringLiteral("sub/b.bin")]);
        QCOMPARE(third[d + QStringLiteral("a.txt")], first[d + QStringLiteral("a.txt")]);
    }

    void splitsTheEntryAndRefusesLoops()
    {
        const Backup backup;
        const QString a = backup.path(QStringLiteral("a"));
        const QString ab = backup.path(QStringLiteral("a;b"));
        const QString c = backup.path(QStringLiteral("c"));
        for (const QString& folder : {a, ab, c, a + QStringLiteral("/inside")})
            QVERIFY(QDir().mkpath(folder));
        write(a + QStringLiteral("/from-a"), "a");
        write(ab + QStringLiteral("/from-ab"), "ab");
        QVERIFY(QFile::link(a, backup.path(QStringLiteral("link-to-a"))));

        // "a" and "b;…/c" would be the first split, but "b;…" is no absolute folder.
        QCOMPARE(backup.run(ab + u';' + c), 0);
        QCOMPARE(entriesOf(c), QStringList {QStringLiteral("from-ab")});

        const QStringList refused {
            backup.path(QStringLiteral("none")) + u';' + c,
            QStringLiteral("a;c"),
            a,
            a + u';' + a,
            a + u';' + a + QStringLiteral("/inside"),
            a + u';' + backup.path(QStringLiteral("link-to-a")),
        };
        for (const QString& entry : refused) {
            QCOMPARE(backup.run(entry), 2);
            QVERIFY2(backup.lastLine().contains(QStringLiteral(" refused: ")), qPrintable(backup.lastLine()));
        }
        QCOMPARE(entriesOf(a + QStringLiteral("/inside")), QStringList());

        // A run still writing into the destination holds it.
        const int held = ::open(native(c).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QCOMPARE(::flock(held, LOCK_EX), 0);
        QCOMPARE(backup.run(a + u';' + c), 2);
        ::close(held);
        QVERIFY2(backup.lastLine().contains(QStringLiteral("another backup into that folder is running")),
            qPrintable(backup.lastLine()));
        QCOMPARE(entriesOf(c), QStringList {QStringLiteral("from-ab")});
    }

    void goesOnPastWhatItCannotCopy()
    {
        const Backup backup;
        const QString s = backup.source() + u'/';
        write(s + QStringLiteral("clash"), "a file here, a folder in the backup");
        write(s + QStringLiteral("fine.txt"), "copied all the same");
        QVERIFY(QDir().mkpath(backup.destination() + QStringLiteral("/clash/old")));
        QVERIFY(QDir().mkpath(s + QStringLiteral("mounted")));
        PrivateMounts mounts;
        const bool mounted = mounts.available() && mounts.mountTmpfs(s + QStringLiteral("mounted"));
        if (mounted)
            write(s + QStringLiteral("mounted/elsewhere.txt"), "on another file system");
        else
            qInfo("other file systems not checked: %s", qPrintable(mounts.problem()));

        QCOMPARE(backup.run(), 1);
        QCOMPARE(contentOf(backup.destination() + QStringLiteral("/fine.txt")), QByteArray("copied all the same"));
        QVERIFY(backup.log().join(u'\n').contains(s + QStringLiteral("clash\", a folder is in its place")));
        QVERIFY2(backup.lastLine().contains(QStringLiteral(", 1 failed")), qPrintable(backup.lastLine()));
        if (mounted) {
            QCOMPARE(entriesOf(backup.destination() + QStringLiteral("/mounted")), QStringList());
            QVERIFY(backup.log().join(u'\n').contains(QStringLiteral("mounted\", another file system, not entered")));
        }
    }

    void refusesABindMountOfAFolderInsideTheSource()
    {
        const Backup backup;
        const QString inside = backup.source() + QStringLiteral("/inside");
        const QString beside = backup.path(QStringLiteral("source;beside"));
        const QString bound = backup.path(QStringLiteral("bound"));
        for (const QString& folder : {inside, beside, bound})
            QVERIFY(QDir().mkpath(folder));
        write(backup.source() + QStringLiteral("/a.txt"), "a");
        PrivateMounts mounts;
        if (!mounts.available() || !mounts.bind(inside, bound))
            QSKIP(qPrintable(QStringLiteral("no bind mounts: ") + mounts.problem()));

        QCOMPARE(backup.run(backup.source() + u';' + bound), 2);
        QVERIFY2(
            backup.lastLine().contains(QStringLiteral("refused: the destination is the source folder or lies inside")),
            qPrintable(backup.lastLine()));
        QCOMPARE(entriesOf(inside), QStringList());

        // A folder whose name only begins like the source's is no folder inside it.
        QVERIFY(mounts.unmount(bound));
        QVERIFY(mounts.bind(beside, bound));
        QCOMPARE(backup.run(backup.source() + u';' + bound), 0);
        QCOMPARE(contentOf(beside + QStringLiteral("/a.txt")), QByteArray("a"));
    }

    void changesNoFileItDidNotWrite()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to own files of a user and of root");
        const Backup backup;
        const QString s = backup.source() + u'/';
        const QString d = backup.destination() + u'/';
        const QString rootsFile = backup.path(QStringLiteral("roots-file"));
        const QString rootsFolder = backup.path(QStringLiteral("roots-folder"));
        // The user's file and root's, of the same size and time; root's
        // linked into the backup under the user's file's name.
        write(s + QStringLiteral("notes.txt"), "the user's notes", 0666);
        write(rootsFile, "root's password!", 0600);
        for (const QString& file : {s + QStringLiteral("notes.txt"), rootsFile})
            setTime(file, 1600000000, 0);
        QCOMPARE(::chown(native(s + QStringLiteral("notes.txt")).constData(), 1234, 1234), 0);
        QCOMPARE(::link(native(rootsFile).constData(), native(d + QStringLiteral("notes.txt")).constData()), 0);
        // Root's folder moved into the backup under the name of the user's.
        QVERIFY(QDir().mkpath(s + QStringLiteral("sub")));
        QCOMPARE(::chown(native(s + QStringLiteral("sub")).constData(), 1234, 1234), 0);
        QVERIFY(QDir().mkpath(rootsFolder));
        QCOMPARE(::chmod(native(rootsFolder).constData(), 0700), 0);
        QCOMPARE(::rename(native(rootsFolder).constData(), native(d + QStringLiteral("sub")).constData()), 0);

        QCOMPARE(backup.run(), 0);
        const struct stat file = factsOf(rootsFile);
        QCOMPARE(file.st_uid, uid_t(0));
        QCOMPARE(file.st_mode & 07777, mode_t(0600));
        QCOMPARE(contentOf(rootsFile), QByteArray("root's password!"));
        QCOMPARE(differences(s + QStringLiteral("notes.txt"), d + QStringLiteral("notes.txt")), QStringList());
        const struct stat folder = factsOf(d + QStringLiteral("sub"));
        QCOMPARE(folder.st_uid, uid_t(0));
        QCOMPARE(folder.st_mode & 07777, mode_t(0700));
        QVERIFY2(backup.log().join(u'\n').contains(QStringLiteral("sub\", owner and permissions")),
            qPrintable(backup.log().join(u'\n')));
    }

    // A run is told to the user in their language above level 1, and a file
    // name cannot forge a line of the log.
    void tellsTheUserAndLogsNamesAsOneLine()
    {
        const Backup backup;
        backup.folder().speak("DE");
        const QString told = backup.path(QStringLiteral("told"));
        backup.folder().write(QStringLiteral("vknotify.exe"),
            "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(told) + "'\n");
        QFile::setPermissions(backup.programFile(QStringLiteral("vknotify.exe")), QFile::ReadOwner | QFile::ExeOwner);
        write(backup.source() + QStringLiteral("/a.txt"), "a");
        const QByteArray forged = "x\n2026-01-01T00:00:00 Backup of \"forged\"";
        QVERIFY(::mkfifo((QFile::encodeName(backup.source()) + '/' + forged).constData(), 0600) == 0);
        QCOMPARE(backup.run(), 0);
        QVERIFY(waitUntil([&] { return QFileInfo(told).size() > 0; }));
        QFile file(told);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
            QStringLiteral("Sicherung;von;%1:;1;kopiert,;0;unverändert.\n").arg(backup.source().replace(u' ', u';')));
        const QStringList log = backup.log();
        QCOMPARE(log.size(), 2);
        for (const QString& line : log)
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT")).match(line).hasMatch(), qPrintable(line));
        QVERIFY2(log.first().contains(u"x?2026-01-01T00:00:00 Backup") && log.first().contains(u"eine benannte Pipe"),
            qPrintable(log.first()));

        // Level 1 says nothing.
        QFile::remove(told);
        backup.folder().write(QStringLiteral("track.txt"), "1\r\n");
        QCOMPARE(backup.run(), 0);
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(told));
    }

    void tellsWhatTheLogCouldNotHold()
    {
        const Backup backup;
        write(backup.source() + QStringLiteral("/a.txt"), "a");
        // No one writes a file where a folder is, root neither.
        QVERIFY(QDir().mkpath(backup.programFile(QStringView(files::BackupLog).toString())));

        QProcess process;
        backup.start(process, backup.entry());
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 3);
        const QString told = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(told.contains(QStringLiteral("could not be written")) &&
                told.contains(QStringLiteral("Backup of \"") + backup.source()) &&
                told.contains(QStringLiteral(": 1 copied (1 bytes)")),
            qPrintable(told));
        QCOMPARE(contentOf(backup.destination() + QStringLiteral("/a.txt")), QByteArray("a"));
    }

    void killedRunLeavesOnlyWholeFiles()
    {
        const Backup backup;
        const QString s = backup.source() + u'/';
        write(s + QStringLiteral("a1.bin"), randomBytes(16 << 20));
        write(s + QStringLiteral("a2.bin"), randomBytes(64 << 20));
        write(s + QStringLiteral("z-small.txt"), "small");

        // Killed while a2.bin is written, a1.bin being in place.
        const int watch = ::inotify_init1(IN_CLOEXEC);
        QVERIFY(::inotify_add_watch(watch, native(backup.destination()).constData(), IN_CREATE | IN_MOVED_TO) >= 0);
        QProcess process;
        backup.start(process, backup.entry());
        QVERIFY(process.waitForStarted());
        bool firstInPlace = false;
        bool killed = false;
        pollfd readable {watch, POLLIN, 0};
        while (!killed && ::poll(&readable, 1, 20000) > 0) {
            alignas(inotify_event) char events[4096];
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n && !killed;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                const QString name = QFile::decodeName(event->len ? event->name : "");
                if ((event->mask & IN_MOVED_TO) && name == QLatin1String("a1.bin"))
                    firstInPlace = true;
                else if ((event->mask & IN_CREATE) && firstInPlace && isTemporary(name))
                    killed = ::kill(pid_t(process.processId()), SIGKILL) == 0;
                at += qsizetype(sizeof(inotify_event)) + event->len;
            }
        }
        ::close(watch);
        QVERIFY(killed);
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);

        QCOMPARE(temporaries(backup.destination()).size(), 1);
        for (const QString& name : entriesOf(backup.destination())) {
            if (!isTemporary(name))
                QVERIFY2(contentOf(backup.destination() + u'/' + name) == contentOf(s + name), qPrintable(name));
        }
        QCOMPARE(contentOf(backup.destination() + QStringLiteral("/a1.bin")), contentOf(s + QStringLiteral("a1.bin")));

        QCOMPARE(backup.run(), 0);
        QCOMPARE(temporaries(backup.destination()), QStringList());
        const QStringList found = differences(backup.source(), backup.destination());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
        QVERIFY2(backup.lastLine().contains(QStringLiteral("unfinished files of stopped runs removed: 1")),
            qPrintable(backup.lastLine()));
    }
};

QTEST_GUILESS_MAIN(TestVkSave)
#include "tst_vksave.moc"
