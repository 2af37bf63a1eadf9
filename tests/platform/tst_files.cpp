#include "platform/filecontent.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "testfolder.h"

#include <QDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

using namespace corvatek;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

class TestFiles : public QObject {
    Q_OBJECT

private slots:
    void inUseFollowsAnotherProcesssLock()
    {
        TestFolder folder;
        const std::string path = folder.file(QStringLiteral("quarantaines.xml")).toStdString();
        QVERIFY(!platform::fileInUse(path)); // absent files are free
        folder.write(QStringLiteral("quarantaines.xml"), "x");
        QVERIFY(!platform::fileInUse(path));

        folder.installCompanion(QStringLiteral("vkwall.exe"), {QStringLiteral("lock quarantaines.xml -1")});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vkwall.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("locked quarantaines.xml")); }));
        QVERIFY(platform::fileInUse(path));
        QVERIFY(!platform::FileLock::tryAcquire(path));
        const auto waited = platform::FileLock::acquire(path, platform::LockMode::Read, std::chrono::milliseconds(100));
        QVERIFY(!waited.lock);
        QVERIFY(waited.unusable.empty()); // in use, not broken
        QVERIFY(platform::terminateByName("vkwall.exe"));
        QVERIFY(waitUntil([&] { return !platform::fileInUse(path); }));
    }

    void heldLockMakesTheFileInUseForOthers()
    {
        TestFolder folder;
        folder.write(QStringLiteral("regles.xml"), "x");
        const std::string path = folder.file(QStringLiteral("regles.xml")).toStdString();
        {
            auto lock = platform::FileLock::tryAcquire(path);
            QVERIFY(lock && lock->descriptor() >= 0);
            QVERIFY(platform::fileInUse(path));
            auto moved = std::move(*lock);
            QVERIFY(platform::fileInUse(path));
        }
        QVERIFY(!platform::fileInUse(path));
        // An absent file yields an empty lock: nobody to coordinate with.
        auto none = platform::FileLock::tryAcquire(folder.file(QStringLiteral("absent.xml")).toStdString());
        QVERIFY(none && none->descriptor() < 0);
    }

    // A file the user made read-only is read under the shared lock; only a
    // write needs write access, and it fails at once with the reason.
    void aReadOnlyFileIsReadNotWritten()
    {
        TestFolder folder;
        folder.write(QStringLiteral("site.xml"), "x");
        const std::string path = folder.file(QStringLiteral("site.xml")).toStdString();
        test::makeReadOnly(folder.file(QStringLiteral("site.xml")));
        const test::OrdinaryUserFileAccess ordinaryUser;
        QVERIFY(!platform::fileInUse(path, platform::LockMode::Read));
        QVERIFY(platform::fileInUse(path, platform::LockMode::Write));
        auto reading = platform::FileLock::tryAcquire(path, platform::LockMode::Read);
        QVERIFY(reading && reading->descriptor() >= 0);
        QVERIFY(platform::FileLock::tryAcquire(path, platform::LockMode::Read)); // readers share it
        const auto writing = platform::FileLock::acquire(path, platform::LockMode::Write, std::chrono::hours(1));
        QVERIFY(!writing.lock);
        QCOMPARE(QString::fromStdString(writing.unusable), QString::fromLocal8Bit(std::strerror(EACCES)));
    }

    // A folder where the file should be cannot become free: the wait ends at
    // once with the reason, and the file still counts as in use.
    void anUnopenableFileEndsTheWaitAtOnce()
    {
        TestFolder folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("track.txt")));
        const std::string path = folder.file(QStringLiteral("track.txt")).toStdString();
        QVERIFY(platform::fileInUse(path));
        QVERIFY(!platform::FileLock::tryAcquire(path));
        int calls = 0;
        const auto waited =
            platform::FileLock::acquire(path, platform::LockMode::Read, std::chrono::hours(1), [&] { ++calls; });
        QVERIFY(!waited.lock);
        QCOMPARE(QString::fromStdString(waited.unusable), QString::fromLocal8Bit(std::strerror(EISDIR)));
        QCOMPARE(calls, 0);
    }

    void waitCallsBackWhileWaiting()
    {
        TestFolder folder;
        folder.write(QStringLiteral("alertes.xml"), "x");
        const std::string path = folder.file(QStringLiteral("alertes.xml")).toStdString();
        auto held = platform::FileLock::tryAcquire(path);
        QVERIFY(held);
        int calls = 0;
        QVERIFY(!platform::FileLock::acquire(path, platform::LockMode::Read, std::chrono::milliseconds(150), [&] {
            ++calls;
        }).lock);
        QVERIFY(calls > 0);
    }

#ifdef Q_OS_LINUX
    // Permission bits are Linux's.
    // A restored private file stays private: a new copy takes the source's
    // permissions, an existing one is narrowed to what both allow.
    void transformedCopiesAreNoWiderThanTheirSource()
    {
        TestFolder folder;
        const auto native = [&](const char* name) { return folder.file(QString::fromLatin1(name)).toStdString(); };
        const auto mode = [&](const char* name) {
            struct stat info { };
            return ::stat(native(name).c_str(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };
        folder.write(QStringLiteral("private"), "secret");
        folder.write(QStringLiteral("shared"), "old content");
        QVERIFY(::chmod(native("private").c_str(), 0600) == 0 && ::chmod(native("shared").c_str(), 0664) == 0);
        const mode_t previous = ::umask(022);
        for (const char* to : {"copy", "shared"})
            QCOMPARE(platform::transformFile(
                         native("private"), native(to), [](unsigned char*, std::size_t, std::uint64_t) {})
                         .status,
                platform::TransformOutcome::Done);
        ::umask(previous);
        QCOMPARE(mode("copy"), 0600);
        QCOMPARE(mode("shared"), 0600);
        QCOMPARE(folder.read(QStringLiteral("shared")), QByteArray("secret"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
