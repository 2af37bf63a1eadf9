// Companions run by root over an ordinary user's program folder, the real
// programs each time: what root writes there must stay the user's, or the
// user's own next run can no longer write it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kUser = 1234;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

uid_t ownerOf(const QString& path)
{
    struct stat facts { };
    return ::lstat(native(path).constData(), &facts) == 0 ? facts.st_uid : uid_t(-1);
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A program folder that belongs to the user, the companions copied in by
// root, and a home for each of the two who run them.
class UsersFolder {
public:
    UsersFolder()
    {
        top = QDir(dir_.path()).canonicalPath();
        program = top + QStringLiteral("/program/");
        for (const QString& folder : {program, home(true), home(false)})
            QDir().mkpath(folder);
        ::chmod(native(top).constData(), 0755);
        ::chmod(native(program).constData(), 0700);
        for (const QString& folder : {program, home(false)}) {
            if (::chown(native(folder).constData(), kUser, kUser) != 0)
                problem = QStringLiteral("uid %1 cannot own files here: %2").arg(kUser).arg(qt_error_string(errno));
        }
    }

    QString home(bool root) const { return top + (root ? QStringLiteral("/root-home") : QStringLiteral("/user-home")); }

    bool install(const QString& built, const QString& name) const
    {
        const QString copy = program + name;
        return QFile::copy(built, copy) && ::chmod(native(copy).constData(), 0755) == 0;
    }

    // The companion's exit status; -1 when it crashed or did not end.
    int run(bool asRoot, const QString& name, const QStringList& arguments, const QStringList& variables = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : environment.keys()) {
            if (variable.startsWith(QLatin1String("XDG_")))
                environment.remove(variable);
        }
        environment.insert(QStringLiteral("HOME"), home(asRoot));
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program);
        for (const QString& variable : variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (asRoot) {
            process.start(program + name, arguments);
        } else {
            const QString id = QString::number(kUser);
            process.start(QStringLiteral("setpriv"),
                QStringList {QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id,
                    QStringLiteral("--clear-groups"), QStringLiteral("--"), program + name} +
                    arguments);
        }
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QString top, program, problem;

private:
    QTemporaryDir dir_;
};

// The id of a process that has ended.
qint64 endedProcess()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    const qint64 pid = process.waitForStarted() ? process.processId() : 0;
    process.waitForFinished();
    return pid;
}

} // namespace

class TestRootRuns : public QObject {
    Q_OBJECT

private:
    // Why the runs cannot be made here; nothing when they can.
    static QString cannotRun(const UsersFolder& folder)
    {
        if (::geteuid() != 0)
            return QStringLiteral("needs root, to run the companions as root over another user's folder");
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            return QStringLiteral("setpriv is needed to run the companions as the user");
        return folder.problem;
    }

private slots:
    void scanByRootLeavesTheReportAndDetectionsTheUsers()
    {
        const UsersFolder folder;
        if (const QString why = cannotRun(folder); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(folder.install(QStringLiteral(CORVATEK_VKPROBE), QStringLiteral("vkprobe.exe")));
        QVERIFY(write(folder.program + QStringLiteral("track.txt"), "1\r\n")); // no notification
        const QString signatures = folder.top + QStringLiteral("/signatures");
        const QString volume = folder.top + QStringLiteral("/volume");
        QVERIFY(QDir().mkpath(signatures) && QDir().mkpath(volume));
        const QByteArray marker = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        QVERIFY(write(signatures + QStringLiteral("/test.ndb"), "Corvatek.Test.Body:0:*:" + marker.toHex() + '\n'));
        QVERIFY(write(volume + QStringLiteral("/first.txt"), "found " + marker));
        const QStringList scan {QStringLiteral("3"), volume};
        const QStringList variables {QStringLiteral("CORVATEK_SIGNATURES=") + signatures};
        const QString report = folder.program + QStringLiteral("anaviri.txt");
        const QString detections = folder.program + QStringLiteral("viri.txt");

        QCOMPARE(folder.run(true, QStringLiteral("vkprobe.exe"), scan, variables), 1);
        QVERIFY2(read(detections).contains("/volume/first.txt : Corvatek.Test.Body"), read(detections).constData());
        QCOMPARE(ownerOf(report), kUser);
        QCOMPARE(ownerOf(detections), kUser);

        // Left by a killed root run and by a writer that still lives.
        const QString dead = report + QStringLiteral(".corvatek-new-%1-0").arg(endedProcess());
        const QString alive = report + QStringLiteral(".corvatek-new-%1-0").arg(::getpid());
        QVERIFY(write(dead, "half") && write(alive, "half"));
        // The user's next scan replaces the report and adds to the detections.
        QVERIFY(write(report, "stale\r\n"));
        QVERIFY(write(volume + QStringLiteral("/second.txt"), "found " + marker));
        QCOMPARE(folder.run(false, QStringLiteral("vkprobe.exe"), scan, variables), 1);
        QVERIFY2(read(report).contains("/volume/second.txt : Corvatek.Test.Body"), read(report).constData());
        QVERIFY2(read(detections).contains("/volume/first.txt : Corvatek.Test.Body") &&
                read(detections).contains("/volume/second.txt : Corvatek.Test.Body"),
            read(detections).constData());
        QVERIFY2(!QFile::exists(dead), qPrintable(dead));
        QVERIFY2(QFile::exists(alive), qPrintable(alive));
    }

    void backupByRootLeavesTheLogTheUsers()
    {
        const UsersFolder folder;
        if (const QString why = cannotRun(folder); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(folder.install(QStringLiteral(CORVATEK_VKSAVE), QStringLiteral("vksave.exe")));
        const QString source = folder.top + QStringLiteral("/source");
        const QString destination = folder.top + QStringLiteral("/backup");
        QVERIFY(QDir().mkpath(source) && QDir().mkpath(destination));
        QVERIFY(write(source + QStringLiteral("/notes.txt"), "notes"));
        for (const QString& path : {source, source + QStringLiteral("/notes.txt"), destination})
            QCOMPARE(::chown(native(path).constData(), kUser, kUser), 0);
        const QString entry = source + u';' + destination;
        const QString log = folder.program + QStringLiteral("vksave.log");

        QCOMPARE(folder.run(true, QStringLiteral("vksave.exe"), {entry}), 0);
        QCOMPARE(read(destination + QStringLiteral("/notes.txt")), QByteArray("notes"));
        QCOMPARE(ownerOf(log), kUser);
        // The user's own run still writes its log.
        const qsizetype logged = read(log).count('\n');
        QVERIFY(logged > 0);
        QCOMPARE(folder.run(false, QStringLiteral("vksave.exe"), {entry}), 0);
        QVERIFY2(read(log).count('\n') > logged, read(log).constData());
    }
};

QTEST_GUILESS_MAIN(TestRootRuns)
#include "tst_rootruns.moc"
