// The disk check run for real: disk health from a udisks2 stand-in on a bus
// of the test's own and from a loop-mounted ext4 volume whose superblock
// records errors; a read check over a FUSE file system of the test's own
// whose files fail as a dying disk's do; the list of files that can go
// over a home folder holding everything that must never be listed.
#include "privatemounts.h"
#include "processoutput.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>
#include <utime.h>

using corvatek::test::PrivateMounts;
using corvatek::test::TestFolder;

namespace {

const QString kCheck = QStringLiteral(CORVATEK_VKCHECK);

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void write(const QString& path, const QByteArray& bytes, int daysOld = 0)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    if (daysOld > 0) {
        const time_t then = ::time(nullptr) - time_t(daysOld) * 86400;
        const utimbuf times {then, then};
        QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
    }
}

} // namespace

class TestVkcheck : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateMounts> mounts_;
    TestFolder program_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();

    // Runs vkcheck.exe; its exit status, its log's newest section in `log`.
    int check(const QStringList& arguments, QString& log)
    {
        QFile::remove(program_.file(QStringLiteral("vkcheck.log")));
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.start(kCheck, arguments);
        if (!process.waitForFinished(60000))
            return -1;
        log = QString::fromUtf8(program_.read(QStringLiteral("vkcheck.log")));
        return process.exitCode();
    }

    // The last notification, its blanks back from the notifier's ';'.
    QString told()
    {
        const QList<QStringList> starts = program_.argumentsOf(QStringLiteral("vknotify.exe"));
        return starts.isEmpty() ? QString() : starts.last().join(u' ').replace(u';', u' ');
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("loop volumes and FUSE mounts need root");
        mounts_ = std::make_unique<PrivateMounts>();
        if (!mounts_->available())
            QSKIP(qPrintable(mounts_->problem()));
        program_.speak("GB");
        program_.installCompanion(QStringLiteral("vknotify.exe"));
        program_.write(QStringLiteral("track.txt"), "2\r\n");
        environment_.insert(QStringLiteral("CORVATEK_DATA_DIR"), program_.path());
    }

    // Each drive's verdict and the sectors that foretell a failure, a disk
    // that reports nothing said so, a file system's recorded errors; with
    // no udisks2 on the bus the log says why.
    void tellsTheHealthOfTheDisks()
    {
        QTemporaryDir work;
        const QString image = work.filePath(QStringLiteral("damaged.img"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(8 << 20));
        file.close();
        QVERIFY(run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), image}));
        QVERIFY(run(QStringLiteral("debugfs"),
            {QStringLiteral("-w"), QStringLiteral("-R"), QStringLiteral("ssv error_count 3"), image}));
        const QString mountPoint = work.filePath(QStringLiteral("damaged"));
        QVERIFY(QDir().mkdir(mountPoint));
        QVERIFY(run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, mountPoint}));
        const auto unmount = qScopeGuard([&] { run(QStringLiteral("umount"), {QStringLiteral("-d"), mountPoint}); });

        QProcess bus;
        bus.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QVERIFY(bus.waitForReadyRead(5000));
        const QString address = QString::fromLatin1(bus.readLine()).trimmed();
        environment_.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
        QString log;
        QCOMPARE(check({QStringLiteral("0"), QStringLiteral("0")}, log), 1);
        QVERIFY2(log.contains(QStringLiteral("The disks' health could not be read (udisks2:")), qPrintable(log));

        QProcess standIn;
        QProcessEnvironment standInEnvironment = environment_;
        standInEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        standIn.setProcessEnvironment(standInEnvironment);
        standIn.start(QStringLiteral(CORVATEK_UDISKS_STANDIN), QStringList {});
        corvatek::test::ProcessOutput said(standIn);
        QVERIFY(said.waitFor(QStringLiteral("ready"), 5000));
        QCOMPARE(check({QStringLiteral("0"), QStringLiteral("0")}, log), 0);
        for (const QString& expected : {QStringLiteral("ACME Disk 1000 (S1): healthy\r\n      temperature 37 °C\r\n    "
                                                       "  sectors reallocated 0, pending 0, uncorrectable 0"),
                 QStringLiteral("ACME Disk 2000 (F2): FAILING, back up its data now\r\n      temperature 37 °C\r\n     "
                                " sectors reallocated 24, pending 12, uncorrectable 6"),
                 QStringLiteral("QEMU QEMU HARDDISK: reports nothing about its health"),
                 QStringLiteral("File system loop"), QStringLiteral("(%1): 3 errors recorded").arg(mountPoint)})
            QVERIFY2(log.contains(expected), qPrintable(log));
        QTRY_COMPARE(told(), QStringLiteral("Disk failing: ACME Disk 2000 (F2). Back up your data now."));
        environment_.remove(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"));
        standIn.kill();
        standIn.waitForFinished();
        bus.kill();
        bus.waitForFinished();
    }

    // Every file read through: a file or a folder that fails with an I/O
    // error is listed, a file the user may not read counted apart; a link
    // is not followed and another file system not entered.
    void readsEveryFileThrough()
    {
        QTemporaryDir work;
        const QString failing = work.filePath(QStringLiteral("home/failing"));
        QVERIFY(QDir().mkpath(failing));
        write(work.filePath(QStringLiteral("home/letter.txt")), QByteArray(300000, 'a'));
        QProcess fuse;
        fuse.start(QStringLiteral(CORVATEK_FAILINGFS), {failing, QStringLiteral("-f")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(failing + QStringLiteral("/good.bin")), 5000);
        const auto unmount = qScopeGuard([&] {
            run(QStringLiteral("umount"), {failing});
            fuse.waitForFinished();
        });
        QVERIFY(QFile::link(failing + QStringLiteral("/bad.bin"), work.filePath(QStringLiteral("home/link.bin"))));

        QString log;
        QCOMPARE(check({QStringLiteral("1"), work.filePath(QStringLiteral("home"))}, log), 0);
        QVERIFY2(log.contains(
                     QStringLiteral("1 files read (292.97 KiB), 0 unreadable, 0 you may not read, 0 other failures")),
            qPrintable(log));
        QCOMPARE(check({QStringLiteral("1"), failing}, log), 0);
        QVERIFY2(log.contains(QStringLiteral("1 files read (64.00 KiB), 2 unreadable, 1 you may not read")),
            qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("unreadable (I/O error): %1/bad.bin").arg(failing)), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("unreadable (I/O error): %1/broken").arg(failing)), qPrintable(log));
        QTRY_COMPARE(told(), QStringLiteral("2 unreadable files in %1").arg(failing));
    }

    // Old cache files, thumbnails, core dumps and editor backups beside
    // their originals are listed, over a home of 200,000 files; never
    // another user's file, one held open, one reached through a link, one
    // in the program folder or in a .git folder.
    void listsOnlyWhatCanSafelyGo()
    {
        QTemporaryDir work;
        // Memory-backed: 200,000 files are made and removed in a moment.
        QVERIFY(mounts_->mountTmpfs(work.path()));
        const auto unmount = qScopeGuard([&] { mounts_->unmount(work.path()); });
        const QString home = work.path() + QStringLiteral("/home");
        const QByteArray core = QByteArray("\x7f"
                                           "ELF\x02\x01\x01",
                                    7) +
            QByteArray(9, '\0') + QByteArray("\x04\x00", 2) + QByteArray(64, '\0');
        const QStringList listed {home + QStringLiteral("/.cache/app/old.bin"),
            home + QStringLiteral("/.cache/thumbnails/normal/new.png"), home + QStringLiteral("/core"),
            home + QStringLiteral("/docs/report.odt~")};
        write(listed[0], "old", 40);
        write(listed[1], "png");
        write(listed[2], core);
        write(listed[3], "backup");
        write(home + QStringLiteral("/docs/report.odt"), "original");
        write(home + QStringLiteral("/.cache/app/recent.bin"), "recent");
        write(home + QStringLiteral("/docs/orphan~"), "no original");
        write(home + QStringLiteral("/core.12"), "not a dump");
        write(home + QStringLiteral("/project/.git/notes~"), "in git");
        write(home + QStringLiteral("/project/.git/notes"), "in git");
        write(home + QStringLiteral("/.cache/app/others.bin"), "another user's", 40);
        QVERIFY(
            ::chown(QFile::encodeName(home + QStringLiteral("/.cache/app/others.bin")).constData(), 65534, 65534) == 0);
        write(home + QStringLiteral("/.cache/app/held.bin"), "held open", 40);
        write(work.path() + QStringLiteral("/elsewhere/old.bin"), "old", 40);
        QVERIFY(QFile::link(work.path() + QStringLiteral("/elsewhere"), home + QStringLiteral("/.cache/linked")));
        QVERIFY(QFile::link(
            work.path() + QStringLiteral("/elsewhere/old.bin"), home + QStringLiteral("/.cache/old-link.bin")));
        // The program folder lives in the cache here, and holds its own old files.
        TestFolder inCache;
        write(home + QStringLiteral("/.cache/own-program/state.bin"), "the suite's", 40);
        QProcessEnvironment environment = environment_;
        environment.insert(QStringLiteral("HOME"), home);
        environment.remove(QStringLiteral("XDG_CACHE_HOME"));
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), home + QStringLiteral("/.cache/own-program/"));
        QProcess holder;
        holder.start(QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; echo held; exec sleep 60"),
                home + QStringLiteral("/.cache/app/held.bin")});
        QVERIFY(holder.waitForReadyRead(5000));
        // A home of 200,000 files, listed in time all the same.
        for (int folder = 0; folder < 200; ++folder) {
            const QByteArray path = QFile::encodeName(home + QStringLiteral("/many/%1").arg(folder));
            QVERIFY(QDir().mkpath(QString::fromUtf8(path)));
            for (int i = 0; i < 1000; ++i)
                ::close(
                    ::open((path + "/f" + QByteArray::number(i)).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }

        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(kCheck, {QStringLiteral("2")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        holder.kill();
        holder.waitForFinished();
        QFile list(home + QStringLiteral("/.cache/own-program/liste2.txt"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(list.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        lines.sort();
        QStringList expected = listed;
        expected.sort();
        QCOMPARE(lines, expected);
    }
};

QTEST_GUILESS_MAIN(TestVkcheck)
#include "tst_vkcheck.moc"
