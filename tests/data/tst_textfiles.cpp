#include "data/programfiles.h"
#include "platform/processes.h"
#include "testfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>

#include <sys/stat.h>

using namespace corvatek;
using namespace corvatek::data;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

class TestTextFiles : public QObject {
    Q_OBJECT

private slots:
    void readsEveryLineEnding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("crlf") << QByteArray("1\r\n2\r\n") << QStringList {"1", "2"};
        QTest::newRow("lf") << QByteArray("1\n2\n") << QStringList {"1", "2"};
        QTest::newRow("cr") << QByteArray("1\r2\r") << QStringList {"1", "2"};
        QTest::newRow("mixed, last unended") << QByteArray("a\r\nb\nc\rd") << QStringList {"a", "b", "c", "d"};
        QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx\n\n") << QStringList {"", "", "x", ""};
        QTest::newRow("lf cr is two endings") << QByteArray("a\n\rb") << QStringList {"a", "", "b"};
        QTest::newRow("windows-1252") << QByteArray("C:\\Donn\xe9\x65s\r\n\x80")
                                      << QStringList {"C:\\Donn\u00e9\x65s", "\u20ac"};
        QTest::newRow("utf-8") << QByteArray("/home/l\xc3\xa9"
                                             "a\n")
                               << QStringList {"/home/l\u00e9a"};
    }
    void readsEveryLineEnding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        TestFolder folder;
        folder.write(QStringLiteral("portsfermes.txt"), bytes);
        const ProgramFiles files(folder.path());
        const LinesRead read = files.readLines(u"portsfermes.txt");
        QVERIFY(read.ok());
        QCOMPARE(read.lines.toList(), lines);
    }

    void flagIsTheFirstLine()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        QCOMPARE(files.readFlag(u"firewall.txt").status, FileStatus::Missing);
        folder.write(QStringLiteral("firewall.txt"), "");
        QVERIFY(!files.readFlag(u"firewall.txt").value);
        folder.write(QStringLiteral("firewall.txt"), "3\r\n1\r\n");
        QCOMPARE(files.readFlag(u"firewall.txt").value.value_or(QString()), QStringLiteral("3"));
        folder.write(QStringLiteral("firewall.txt"), "\r\n1\r\n");
        QCOMPARE(files.readFlag(u"firewall.txt").value.value_or(QStringLiteral("?")), QString());
        // Line 1 is kept as it is, a leading U+FEFF too.
        folder.write(QStringLiteral("firewall.txt"),
            "\xEF\xBB\xBF"
            "1\r\n");
        QCOMPARE(files.readFlag(u"firewall.txt").value.value_or(QString()),
            QStringLiteral("\uFEFF"
                           "1"));
    }

    void writesCrLfAndEmptyListsAsNoBytes()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        QVERIFY(files.writeFlag(u"track.txt", QStringLiteral("1")).ok());
        QCOMPARE(folder.read(QStringLiteral("track.txt")), QByteArray("1\r\n"));
        QVERIFY(files.writeLines(u"viri.txt", {}).ok());
        QVERIFY(folder.exists(QStringLiteral("viri.txt")));
        QCOMPARE(folder.read(QStringLiteral("viri.txt")).size(), 0);
        const QStringList lines {QStringLiteral("/home/l\u00e9a/Documents"), QString(), QStringLiteral("x")};
        QVERIFY(files.writeLines(u"portappli.txt", lines).ok());
        QCOMPARE(
            folder.read(QStringLiteral("portappli.txt")), QByteArray("/home/l\xc3\xa9\x61/Documents\r\n\r\nx\r\n"));
        QCOMPARE(files.readLines(u"portappli.txt").lines.toList(), lines);
    }

    void aResetLeavesAFileThatAlreadyHoldsTheLines()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        folder.write(QStringLiteral("track.txt"), "2\r\n");
        const auto inode = [&] {
            struct stat info { };
            ::stat(folder.file(QStringLiteral("track.txt")).toLocal8Bit().constData(), &info);
            return info.st_ino;
        };
        const auto before = inode();
        QVERIFY(files.resetLines(u"track.txt", {QStringLiteral("2")}).ok());
        QCOMPARE(inode(), before); // not replaced
        for (const QByteArray& other : {QByteArray("2\n"), QByteArray("3\r\n"), QByteArray("2\r\n2\r\n")}) {
            folder.write(QStringLiteral("track.txt"), other);
            QVERIFY(files.resetLines(u"track.txt", {QStringLiteral("2")}).ok());
            QCOMPARE(folder.read(QStringLiteral("track.txt")), QByteArray("2\r\n"));
        }
        QVERIFY(files.resetLines(u"viri.txt", {}).ok());
        QVERIFY(folder.exists(QStringLiteral("viri.txt")));
    }

    // What is no regular file, or is past its kind's bound, is refused at
    // once and said so; a reset replaces it (a link itself, never through it).
    void outsideDataIsReadWithinBoundsAndNeverBlocks()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        QVERIFY(::mkfifo(folder.file(QStringLiteral("anaviri.txt")).toLocal8Bit().constData(), 0600) == 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder.file(QStringLiteral("track.txt"))));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("portappli.txt")));
        folder.write(QStringLiteral("mode.txt"), QByteArray(kFlagFileLimit + 1, '1'));
        folder.write(QStringLiteral("ctrlpl.txt"), QByteArray(kFlagFileLimit - 2, '1') + "\r\n");
        const struct {
            const char16_t* name;
            const char* says;
        } refused[] = {{u"anaviri.txt", "is a pipe"}, {u"portappli.txt", "is a folder"}};
        for (const auto& file : refused) {
            const LinesRead read = files.readLines(file.name);
            QCOMPARE(read.status, FileStatus::Unreadable);
            QVERIFY2(read.error.contains(QLatin1String(file.says)), qPrintable(read.error));
            QVERIFY(read.lines.isEmpty());
        }
        QVERIFY(files.readFlag(u"track.txt").error.contains(QLatin1String("is a device")));
        QVERIFY(files.readFlag(u"mode.txt").error.contains(QLatin1String("larger than 4 KiB")));
        QCOMPARE(files.readFlag(u"ctrlpl.txt").value->size(), kFlagFileLimit - 2);

        QVERIFY(files.resetLines(u"track.txt", {QStringLiteral("2")}).ok());
        QVERIFY(files.resetLines(u"anaviri.txt", {}).ok());
        QVERIFY(!QFileInfo(folder.file(QStringLiteral("track.txt"))).isSymLink());
        QCOMPARE(folder.read(QStringLiteral("track.txt")), QByteArray("2\r\n"));
        QCOMPARE(QFileInfo(folder.file(QStringLiteral("anaviri.txt"))).size(), 0);
        QVERIFY(QFileInfo(folder.file(QStringLiteral("anaviri.txt"))).isFile());
    }

    void aLockedFileIsNotOverwritten()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path(), {std::chrono::milliseconds(200), {}});
        folder.write(QStringLiteral("ctrlpl.txt"), "1\r\n");
        folder.installCompanion(QStringLiteral("vksites.exe"), {QStringLiteral("lock ctrlpl.txt -1")});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vksites.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("locked ctrlpl.txt")); }));
        QCOMPARE(files.writeFlag(u"ctrlpl.txt", QStringLiteral("0")).status, FileStatus::Busy);
        QCOMPARE(folder.read(QStringLiteral("ctrlpl.txt")), QByteArray("1\r\n"));
    }

    // A companion that follows its guide and the control centre both replace
    // the file under its lock, at the same time: no update is lost.
    void updatesUnderTheLockAreNeverLost()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        folder.write(QStringLiteral("counter.txt"), "0");
        const int times = 300;
        folder.installCompanion(QStringLiteral("vksave.exe"), {QStringLiteral("update counter.txt %1").arg(times)});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vksave.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return !folder.starts().isEmpty(); }));
        const auto increment = [](const QByteArray& now) { return QByteArray::number(now.toLong() + 1); };
        for (int i = 0; i < times; ++i) {
            const FileResult done = files.updateFile(u"counter.txt", increment, std::chrono::seconds(10));
            QVERIFY2(done.ok(), qPrintable(done.error));
        }
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("updated counter.txt")); }));
        QCOMPARE(folder.read(QStringLiteral("counter.txt")), QByteArray::number(2 * times));
    }

    // A save that cannot reach the disk whole fails, says which file and
    // why, and leaves the old file as it was: past a file-size limit, and on
    // a full file system (where the tests may mount one).
    void aSaveThatCannotReachTheDiskChangesNothing()
    {
        const auto refused = [](const ProgramFiles& files, int error) {
            const FileResult saved = files.writeLines(u"track.txt", QStringList(2000, QStringLiteral("2")));
            return saved.status == FileStatus::WriteFailed && saved.error.contains(files.path(u"track.txt")) &&
                saved.error.contains(QString::fromLocal8Bit(std::strerror(error)));
        };
        const auto intact = [](const QString& folder) {
            QFile track(folder + QStringLiteral("track.txt"));
            return track.open(QIODevice::ReadOnly) && track.readAll() == "3\r\n" &&
                QDir(folder).entryList({QStringLiteral("*corvatek-new*")}).isEmpty();
        };
        TestFolder folder;
        const ProgramFiles files(folder.path());
        QVERIFY(files.writeFlag(u"track.txt", QStringLiteral("3")).ok());
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit tight {4096, limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &tight);
        const bool refusedPastTheLimit = refused(files, EFBIG);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(refusedPastTheLimit);
        QVERIFY(intact(folder.path()));

        if (::geteuid() != 0)
            QSKIP("only root may mount a small file system here");
        const QString full = folder.file(QStringLiteral("full"));
        QVERIFY(QDir().mkdir(full));
        QVERIFY(::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") == 0);
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(full).constData(), MNT_DETACH); });
        const ProgramFiles small(full);
        QVERIFY(small.writeFlag(u"track.txt", QStringLiteral("3")).ok());
        QFile filler(full + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) > 0) { }
        QVERIFY(refused(small, ENOSPC));
        QVERIFY(intact(small.folder()));
    }

    void aFailedWriteLeavesTheOldFile()
    {
        TestFolder folder;
        folder.write(QStringLiteral("mode.txt"), "0\r\n");
        // A program folder that became a file cannot take the temporary file.
        const ProgramFiles broken(folder.file(QStringLiteral("mode.txt")));
        QCOMPARE(broken.writeFlag(u"x.txt", QStringLiteral("1")).status, FileStatus::WriteFailed);
        QCOMPARE(folder.read(QStringLiteral("mode.txt")), QByteArray("0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTextFiles)
#include "tst_textfiles.moc"
