// The guard service checking files as they are opened, run and written, on
// a loop-mounted ext4 volume that holds the homes of two users made for the
// test (a password database of the test's own, bound over the machine's in
// a private mount namespace).
#include "privatemounts.h"
#include "processoutput.h"
#include "scanning/guardprotocol.h"
#include "testfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>

using corvatek::test::PrivateMounts;
using Output = corvatek::test::ProcessOutput;

namespace {

const QString kGuard = QStringLiteral(CORVATEK_GUARD);
const QString kListener = QStringLiteral(CORVATEK_GUARD_LISTENER);
const QString kClient = QStringLiteral(CORVATEK_VKGUARD);
constexpr uid_t kAnn = 64998;
constexpr uid_t kBob = 64997;
const char* const kAllFlags = "111111111111";

// Written as root, then handed to its owner.
void writeFile(const QString& path, const QByteArray& bytes, uid_t owner = 0, QFile::Permissions mode = {})
{
    corvatek::test::writeFile(path, bytes);
    QVERIFY(::chown(QFile::encodeName(path).constData(), owner, owner) == 0);
    if (mode)
        QVERIFY(QFile::setPermissions(path, mode));
}

// Runs as `uid` from the start: the kernel, not the program, says who acts.
void runAs(QProcess& process, uid_t uid)
{
    process.setChildProcessModifier([uid] {
        if (::setgroups(0, nullptr) != 0 || ::syscall(SYS_setresgid, uid, uid, uid) != 0 ||
            ::syscall(SYS_setresuid, uid, uid, uid) != 0)
            ::_exit(127);
    });
}

// A program run to its end as a user: its exit code and what it said.
struct Outcome {
    int code = -1;
    QString said;
};

Outcome runTo(uid_t uid, const QString& program, const QStringList& arguments)
{
    QProcess process;
    runAs(process, uid);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromLocal8Bit(process.readAll())};
}


class Service {
public:
    Service(const QString& database, const QString& socket, const QStringList& extra = {}) : log(process)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        // With no more rights than its systemd unit leaves it.
        process.start(QStringLiteral("setpriv"),
            QStringList {QStringLiteral("--bounding-set=-all,+sys_admin,+dac_read_search"), QStringLiteral("--"), kGuard,
                QStringLiteral("--database"), database, QStringLiteral("--socket"), socket} +
                extra);
    }
    ~Service()
    {
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    Output log;
};

// A guard client of a user, printing what the service tells it.
class Listener {
public:
    Listener(uid_t uid, const QString& socket, const char* flags, const QString& downloads) : output(process)
    {
        runAs(process, uid);
        process.start(kListener, {socket, QString::fromLatin1(flags), downloads});
    }
    ~Listener()
    {
        process.kill();
        process.waitForFinished();
    }
    void ask(const char* flags) { process.write(QByteArray(flags) + '\n'); }
    QProcess process;
    Output output;
};

} // namespace

class TestOnAccess : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateMounts> mounts_;
    QTemporaryDir dir_;
    QString root_, database_, socket_, ann_, bob_;
    QByteArray marker_;

    QString annFile(const QString& name) const { return ann_ + u'/' + name; }
    QByteArray infected() const { return "text " + marker_ + " text\n"; }

    // The findings the listener was told of, as "<action> <path>" lines.
    static bool told(Listener& listener, const char* action, const QString& path)
    {
        return listener.output.waitFor(QStringLiteral("event detection %1 ").arg(QLatin1String(action))) &&
            listener.output.waitFor(u'\t' + path + u'\t');
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("the guard service needs root");
        mounts_ = std::make_unique<PrivateMounts>();
        if (!mounts_->available())
            QSKIP(qPrintable(mounts_->problem()));
        root_ = QDir(dir_.path()).canonicalPath();
        ::chmod(QFile::encodeName(root_).constData(), 0755);
        QVERIFY(QDir(root_).mkpath(QStringLiteral("homes")));
        QVERIFY(mounts_->mountVolume(root_ + QStringLiteral("/homes"), 160));
        ann_ = root_ + QStringLiteral("/homes/ann");
        bob_ = root_ + QStringLiteral("/homes/bob");
        for (const auto& [home, uid] : {std::pair {ann_, kAnn}, std::pair {bob_, kBob}}) {
            QVERIFY(QDir().mkpath(home + QStringLiteral("/Downloads")));
            QVERIFY(::chown(QFile::encodeName(home).constData(), uid, uid) == 0);
            QVERIFY(::chown(QFile::encodeName(home + QStringLiteral("/Downloads")).constData(), uid, uid) == 0);
        }
        QFile system(QStringLiteral("/etc/passwd"));
        QVERIFY(system.open(QIODevice::ReadOnly));
        const QByteArray users = system.readAll() + "ann:x:64998:64998::" + QFile::encodeName(ann_) +
            ":/bin/sh\nbob:x:64997:64997::" + QFile::encodeName(bob_) + ":/bin/sh\n";
        writeFile(root_ + QStringLiteral("/passwd"), users, 0,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QVERIFY(mounts_->bind(root_ + QStringLiteral("/passwd"), QStringLiteral("/etc/passwd")));

        marker_ = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        database_ = root_ + QStringLiteral("/database");
        QVERIFY(QDir().mkpath(database_));
        writeFile(database_ + QStringLiteral("/test.ndb"), "Corvatek.Test.Body:0:*:" + marker_.toHex() + '\n');
        socket_ = root_ + QStringLiteral("/run/guard.socket");
    }

    void cleanupTestCase() { mounts_.reset(); }

    // Flags all on: an infected file neither opens nor runs, for its owner
    // only; a clean file opens, and is scanned again once it changes.
    void refusesInfectedFilesOnOpenAndRun()
    {
        Service service(database_, socket_);
        QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
        Listener ann(kAnn, socket_, kAllFlags, ann_ + QStringLiteral("/Downloads"));
        Listener bob(kBob, socket_, kAllFlags, bob_ + QStringLiteral("/Downloads"));
        QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
        QVERIFY2(bob.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(bob.output.text()));

        writeFile(annFile(QStringLiteral("clean.txt")), "nothing to see\n", kAnn);
        writeFile(annFile(QStringLiteral("infected.txt")), infected(), kAnn);
        writeFile(annFile(QStringLiteral("tool.sh")), "#!/bin/sh\necho ran # " + marker_ + '\n', kAnn,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);

        const Outcome clean = runTo(kAnn, QStringLiteral("/bin/cat"), {annFile(QStringLiteral("clean.txt"))});
        QCOMPARE(clean.said, QStringLiteral("nothing to see\n"));
        const Outcome open = runTo(kAnn, QStringLiteral("/bin/cat"), {annFile(QStringLiteral("infected.txt"))});
        QCOMPARE(open.code, 1);
        QVERIFY2(open.said.contains(QStringLiteral("Operation not permitted")), qPrintable(open.said));
        const Outcome run = runTo(kAnn, QStringLiteral("/usr/bin/env"), {annFile(QStringLiteral("tool.sh"))});
        QVERIFY2(run.code != 0 && !run.said.contains(QStringLiteral("ran")), qPrintable(run.said));

        QVERIFY2(told(ann, "refused-open", annFile(QStringLiteral("infected.txt"))), qPrintable(ann.output.text()));
        QVERIFY2(ann.output.text().contains(QStringLiteral("/bin/cat\n")), qPrintable(ann.output.text()));
        QVERIFY2(told(ann, "refused-run", annFile(QStringLiteral("tool.sh"))), qPrintable(ann.output.text()));
        QVERIFY2(QFile::exists(annFile(QStringLiteral("infected.txt"))), "a finding is never deleted");

        // Clean, so no longer scanned; changed to match, so scanned again.
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cat"), {annFile(QStringLiteral("clean.txt"))}).code, 0);
        QFile changed(annFile(QStringLiteral("clean.txt")));
        QVERIFY(changed.open(QIODevice::Append) && changed.write(infected()) > 0);
        changed.close();
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cat"), {annFile(QStringLiteral("clean.txt"))}).code, 1);
        QVERIFY2(told(ann, "refused-open", annFile(QStringLiteral("clean.txt"))), qPrintable(ann.output.text()));

        // A program's first run is news for the modification watch; the next is not.
        const QString hello = annFile(QStringLiteral("hello.sh"));
        writeFile(hello, "#!/bin/sh\necho hello\n", kAnn,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        for (int run = 0; run < 2; ++run)
            QCOMPARE(runTo(kAnn, QStringLiteral("/usr/bin/env"), {hello}).said, QStringLiteral("hello\n"));
        QVERIFY2(ann.output.waitFor(QStringLiteral("event modification programs first-run\t") + hello),
            qPrintable(ann.output.text()));
        QCOMPARE(ann.output.text().count(QStringLiteral("first-run\t") + hello), 1);
        QVERIFY2(!bob.output.text().contains(QStringLiteral("event")), qPrintable(bob.output.text()));
    }

    // Flag 2 alone: only downloads are scanned, after they are written, and
    // opens are free; the client's new flags take effect at once.
    void followsTheClientsFlags()
    {
        Service service(database_, socket_);
        QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
        const QString downloads = ann_ + QStringLiteral("/Downloads");
        Listener ann(kAnn, socket_, "010000000000", downloads);
        QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
        writeFile(root_ + QStringLiteral("/source.txt"), infected(), 0,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

        const QString outside = annFile(QStringLiteral("kept.txt"));
        const QString inside = downloads + QStringLiteral("/setup.txt");
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cp"), {root_ + QStringLiteral("/source.txt"), outside}).code, 0);
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cp"), {root_ + QStringLiteral("/source.txt"), inside}).code, 0);
        QVERIFY2(told(ann, "found-written", inside), qPrintable(ann.output.text()));
        QVERIFY2(!ann.output.text().contains(outside), qPrintable(ann.output.text()));
        QFile written(inside);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), infected());
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cat"), {outside}).code, 0);

        ann.ask("100000010000"); // scan on write everywhere, and on open
        QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cat"), {outside}).code, 1);
        QVERIFY2(told(ann, "refused-open", outside), qPrintable(ann.output.text()));
        const QString again = annFile(QStringLiteral("again.txt"));
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cp"), {root_ + QStringLiteral("/source.txt"), again}).code, 0);
        QVERIFY2(told(ann, "found-written", again), qPrintable(ann.output.text()));
    }

    // The user's own vkguard.exe writes what the service found into the
    // user's program folder: the detection line and the alert.
    void theUsersClientRecordsWhatIsFound()
    {
        Service service(database_, socket_);
        QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
        const QString program = ann_ + QStringLiteral("/.local/share/corvatek/");
        QVERIFY(QDir().mkpath(program));
        for (const QString& folder : {ann_ + QStringLiteral("/.local"), ann_ + QStringLiteral("/.local/share"), program})
            QVERIFY(::chown(QFile::encodeName(folder).constData(), kAnn, kAnn) == 0);
        QProcess client;
        runAs(client, kAnn);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), ann_);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), ann_ + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), ann_ + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program);
        environment.insert(QStringLiteral("CORVATEK_GUARD_SOCKET"), socket_);
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        client.setProcessEnvironment(environment);
        client.start(kClient, {});
        QVERIFY2(service.log.waitFor(QStringLiteral("guarding uid %1").arg(kAnn)), qPrintable(service.log.text()));

        writeFile(root_ + QStringLiteral("/source.txt"), infected(), 0,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        const QString download = ann_ + QStringLiteral("/Downloads/invoice.txt");
        QCOMPARE(runTo(kAnn, QStringLiteral("/bin/cp"), {root_ + QStringLiteral("/source.txt"), download}).code, 0);
        const QByteArray line = QFile::encodeName(download) + " : Corvatek.Test.Body.UNOFFICIAL";
        QByteArray detections;
        for (int tries = 0; tries < 100 && !detections.contains(line); ++tries) {
            QTest::qWait(50);
            QFile file(program + QStringLiteral("viri.txt"));
            if (file.open(QIODevice::ReadOnly))
                detections = file.readAll();
        }
        QVERIFY2(detections.contains(line), detections.constData());
        const QList<QStringList> alerts = corvatek::test::tableRows(program, corvatek::data::TableId::Alerts);
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts.first().value(0), QStringLiteral("invoice.txt"));
        QCOMPARE(alerts.first().value(7), download);
        QCOMPARE(QFileInfo(download).size(), qint64(infected().size())); // kept, and refused to anyone now
        client.kill();
        client.waitForFinished();
    }

    // A volume mounted for the user is guarded as it comes.
    void guardsTheUsersVolumes()
    {
        if (!QDir(QStringLiteral("/media")).exists())
            QSKIP("no /media to mount over");
        Service service(database_, socket_);
        QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
        Listener ann(kAnn, socket_, kAllFlags, ann_ + QStringLiteral("/Downloads"));
        QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
        QVERIFY(mounts_->mountTmpfs(QStringLiteral("/media"), 1));
        const QString stick = QStringLiteral("/media/ann/STICK");
        QVERIFY(QDir().mkpath(stick));
        QVERIFY(mounts_->mountVolume(stick));
        writeFile(stick + QStringLiteral("/photo.txt"), infected(), kAnn);
        Outcome open;
        for (int tries = 0; tries < 100 && open.code != 1; ++tries) {
            open = runTo(kAnn, QStringLiteral("/bin/cat"), {stick + QStringLiteral("/photo.txt")});
            QTest::qWait(50);
        }
        QCOMPARE(open.code, 1);
        QVERIFY2(told(ann, "refused-open", stick + QStringLiteral("/photo.txt")), qPrintable(ann.output.text()));
        QVERIFY(mounts_->unmount(stick));
        QVERIFY(mounts_->unmount(QStringLiteral("/media")));
    }

    // No opener waits past the open deadline: a long scan lets the open
    // through and reports its finding later; a killed service lets every
    // waiting opener through at once.
    void neverHoldsAnOpenerForLong()
    {
        const QString slow = annFile(QStringLiteral("slow.bin"));
        QByteArray bytes(95 << 20, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        bytes.replace(bytes.size() - marker_.size(), marker_.size(), marker_);
        writeFile(slow, bytes, kAnn);
        {
            Service service(database_, socket_, {QStringLiteral("--open-timeout"), QStringLiteral("0.2")});
            QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
            Listener ann(kAnn, socket_, kAllFlags, ann_ + QStringLiteral("/Downloads"));
            QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
            QCOMPARE(runTo(kAnn, QStringLiteral("/usr/bin/cmp"), {QStringLiteral("-n1"), slow, slow}).code, 0);
            QVERIFY2(told(ann, "found-late", slow), qPrintable(ann.output.text()));
        }
        {
            Service service(database_, socket_, {QStringLiteral("--open-timeout"), QStringLiteral("600")});
            QVERIFY2(service.log.waitFor(QStringLiteral("listening on ")), qPrintable(service.log.text()));
            Listener ann(kAnn, socket_, kAllFlags, ann_ + QStringLiteral("/Downloads"));
            QVERIFY2(ann.output.waitFor(QStringLiteral("guarding blocking")), qPrintable(ann.output.text()));
            // Clean, and slow to scan: the open waits.
            QVERIFY(QFile::remove(slow)); // room on the volume
            bytes.replace(bytes.size() - marker_.size(), marker_.size(), QByteArray(marker_.size(), 'x'));
            writeFile(annFile(QStringLiteral("slow-clean.bin")), bytes, kAnn);
            QProcess opener;
            runAs(opener, kAnn);
            opener.start(QStringLiteral("/usr/bin/head"), {QStringLiteral("-c1"), annFile(QStringLiteral("slow-clean.bin"))});
            QVERIFY(opener.waitForStarted());
            QVERIFY2(!opener.waitForFinished(300), "the open should wait for its scan");
            ::kill(pid_t(service.process.processId()), SIGKILL);
            QVERIFY2(opener.waitForFinished(10000), "the kernel lets the open through when the service dies");
            QCOMPARE(opener.exitCode(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestOnAccess)
#include "tst_onaccess.moc"
