#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

const QString kUpdater = QStringLiteral(CORVATEK_VKUPDATE);

// Stands in for freshclam: records its arguments and the configuration it
// was given, puts a database into its data folder, talks as freshclam does
// and ends as STANDIN asks (a status, or "hang" to never end by itself, with
// a child and one that left for a session of its own).
const QByteArray kStandIn = R"sh(#!/bin/sh
printf '%s\n' "$@" > "$RECORD/arguments"
for argument in "$@"; do
  case "$argument" in
    --datadir=*) datadir="${argument#--datadir=}" ;;
    --config-file=*) config="${argument#--config-file=}" ;;
  esac
done
cat "$config" > "$RECORD/configuration"
echo "ClamAV update process started at today"
echo "Time:    0.5s, ETA:    0.0s [========================>]   56.26MiB/56.26MiB"
echo ""
echo "daily.cld updated (version: 27000, sigs: 2070000, f-level: 90, builder: raynman)"
echo "x" > "$datadir/daily.cld"
if [ "$STANDIN" = hang ]; then
  (setsid sh -c 'echo escaped > "$RECORD/escaper"; exec sleep 60' &)
  sleep 60 &
  echo $! > "$RECORD/sleeper"
  wait
fi
exit "$STANDIN"
)sh";

// Whether this machine lets a process namespace be made, as the updater
// needs to take what freshclam started down with it when killed.
bool pidNamespaces()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::unshare(CLONE_NEWPID) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        bin = root + QStringLiteral("/bin");
        QDir().mkpath(bin);
        QFile::copy(kUpdater, program.file(QStringLiteral("vkupdate.exe")));
        program.speak("GB");
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), root);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
        environment.insert(QStringLiteral("RECORD"), root);
        environment.insert(QStringLiteral("PATH"), bin);
    }

    void installStandIn()
    {
        const QString path = bin + QStringLiteral("/freshclam");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kStandIn) == kStandIn.size());
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        // The stand-in's own commands, without the real freshclam beside them.
        for (const char* tool : {"cat", "sleep", "setsid", "sh"})
            QFile::link(QStandardPaths::findExecutable(QLatin1String(tool)), bin + u'/' + QLatin1String(tool));
    }

    // `limit`: seconds freshclam is given.
    void start(QProcess& process, const QString& standIn, const QString& limit = QStringLiteral("2"))
    {
        QProcessEnvironment env = environment;
        env.insert(QStringLiteral("STANDIN"), standIn);
        env.insert(QStringLiteral("CORVATEK_UPDATE_LIMIT"), limit);
        process.setProcessEnvironment(env);
        process.start(program.file(QStringLiteral("vkupdate.exe")), {QStringLiteral("0")});
    }

    // The exit status; -1 when the updater crashed or did not end.
    int run(const QString& standIn)
    {
        QProcess process;
        start(process, standIn);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    // Live processes of this sandbox's runs: all carry its RECORD, whatever
    // session or process namespace they moved to.
    QList<int> leftOver() const
    {
        const QByteArray mark = "RECORD=" + QFile::encodeName(root) + '\0';
        QList<int> ids;
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const int id = entry.toInt();
            QFile environ(QStringLiteral("/proc/%1/environ").arg(id));
            QFile stat(QStringLiteral("/proc/%1/stat").arg(id));
            if (id > 0 && environ.open(QIODevice::ReadOnly) && environ.readAll().contains(mark) &&
                stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z "))
                ids.append(id);
        }
        return ids;
    }

    // The log's lines without their times.
    QStringList log() const
    {
        QStringList lines;
        for (const QString& line :
            QString::fromUtf8(program.read(QStringLiteral("vkupdate.log"))).split(QStringLiteral("\r\n")))
            lines.append(line.section(u' ', 1));
        lines.removeLast();
        return lines;
    }

    QByteArray recorded(const QString& name) const
    {
        QFile file(root + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestFolder program;
    QString root, bin;
    QProcessEnvironment environment;

private:
    QTemporaryDir dir_;
};

} // namespace

class TestVkupdate : public QObject {
    Q_OBJECT

private slots:
    void updatesThroughFreshclam()
    {
        Sandbox box;
        box.installStandIn();
        const QString data = box.root + QStringLiteral("/data/corvatek/");
        QCOMPARE(box.run(QStringLiteral("0")), 0);
        QCOMPARE(box.recorded(QStringLiteral("arguments")),
            "--datadir=" + QFile::encodeName(data) + "signatures\n--config-file=" + QFile::encodeName(data) +
                "freshclam.conf\n");
        const QByteArray configuration = box.recorded(QStringLiteral("configuration"));
        for (const char* line : {"DatabaseMirror database.clamav.net\n", "LogSyslog no\n", "DatabaseOwner "})
            QVERIFY2(configuration.contains(line), configuration.constData());
        QVERIFY(!configuration.contains("UpdateLogFile"));
        QVERIFY(QFile::exists(data + QStringLiteral("signatures/daily.cld")));
        struct stat folder { };
        QVERIFY(::stat(QFile::encodeName(data + QStringLiteral("signatures")).constData(), &folder) == 0);
        QCOMPARE(folder.st_mode & 0777, 0700u);
        QStringList log = box.log();
        QCOMPARE(log.size(), 4);
        QVERIFY2(log[0].startsWith(QStringLiteral("Signature update started")), qPrintable(log[0]));
        QCOMPARE(log[1], QStringLiteral("freshclam: ClamAV update process started at today"));
        QVERIFY2(log[2].startsWith(QStringLiteral("freshclam: daily.cld updated (version: 27000")), qPrintable(log[2]));
        QVERIFY2(log[3].startsWith(QStringLiteral("freshclam ended with status 0 after ")), qPrintable(log[3]));

        QCOMPARE(box.run(QStringLiteral("52")), 1);
        QVERIFY2(box.log().last().contains(u"status 52"), qPrintable(box.log().last()));

        // A failure is told to the user, in their language, above level 1.
        const QString told = box.root + QStringLiteral("/told");
        box.program.write(QStringLiteral("vknotify.exe"),
            "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(told) + "'\n");
        QFile::setPermissions(box.program.file(QStringLiteral("vknotify.exe")), QFile::ReadOwner | QFile::ExeOwner);
        box.program.speak("ITA");
        QCOMPARE(box.run(QStringLiteral("52")), 1);
        QVERIFY(waitUntil([&told] { return QFileInfo(told).size() > 0; }));
        QCOMPARE(box.recorded(QStringLiteral("told")),
            "L'aggiornamento;delle;firme;non;è;riuscito:;nessuna;connessione;al;server;delle;firme\n");
        QVERIFY2(box.log().last().startsWith(QStringLiteral("freshclam è terminato con lo stato 52 dopo ")),
            qPrintable(box.log().last()));
        QFile::remove(told);
        box.program.write(QStringLiteral("track.txt"), "1\r\n");
        QCOMPARE(box.run(QStringLiteral("52")), 1);
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(told));
        box.program.write(QStringLiteral("track.txt"), "2\r\n");
        box.program.speak("GB");

        // One that never ends is stopped, with what it started, also what
        // left its session.
        QCOMPARE(box.run(QStringLiteral("hang")), 1);
        QVERIFY2(
            box.log().last().startsWith(QStringLiteral("freshclam was stopped after ")), qPrintable(box.log().last()));
        QVERIFY(box.recorded(QStringLiteral("sleeper")).trimmed().toInt() > 0);
        QCOMPARE(box.recorded(QStringLiteral("escaper")), "escaped\n");
        QVERIFY(waitUntil([&box] { return box.leftOver().isEmpty(); }));
    }

    void endsAllItStartedWhenStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("logged"); // the log's last line; empty: not written
        QTest::newRow("told to stop") << int(SIGTERM)
                                      << QStringLiteral("vkupdate.exe was told to stop (signal 15): freshclam was "
                                                        "stopped after ");
        QTest::newRow("killed") << int(SIGKILL) << QString();
    }

    void endsAllItStartedWhenStopped()
    {
        QFETCH(int, signal);
        QFETCH(QString, logged);
        if (signal == SIGKILL && !pidNamespaces())
            QSKIP("no process namespaces here: what freshclam started may outlive a killed vkupdate.exe");
        Sandbox box;
        box.installStandIn();
        QProcess process;
        box.start(process, QStringLiteral("hang"), QStringLiteral("60"));
        QVERIFY(waitUntil([&box] { return !box.recorded(QStringLiteral("escaper")).isEmpty(); }));
        QVERIFY(box.leftOver().size() >= 4); // the updater, the stand-in, its two sleepers
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(20000));
        if (logged.isEmpty()) {
            QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(process.exitCode(), 1);
            QVERIFY2(box.log().last().startsWith(logged), qPrintable(box.log().last()));
        }
        QVERIFY(waitUntil([&box] { return box.leftOver().isEmpty(); }));
    }

    // Links planted at the names of its files are replaced, never written or
    // read through.
    void replacesLinksAtItsFilesNames()
    {
        Sandbox box;
        box.installStandIn();
        const QString data = box.root + QStringLiteral("/data/corvatek/");
        QVERIFY(QDir().mkpath(data));
        const QString elsewhere = box.root + QStringLiteral("/elsewhere");
        for (const QString& name : {QStringLiteral("conf"), QStringLiteral("log")}) {
            QFile target(elsewhere + name);
            QVERIFY(target.open(QIODevice::WriteOnly) && target.write("precious\n") == 9);
            QVERIFY(target.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        }
        QVERIFY(QFile::link(elsewhere + QStringLiteral("conf"), data + QStringLiteral("freshclam.conf")));
        QVERIFY(QFile::link(elsewhere + QStringLiteral("log"), box.program.file(QStringLiteral("vkupdate.log"))));
        QCOMPARE(box.run(QStringLiteral("0")), 0);
        for (const QString& name : {QStringLiteral("conf"), QStringLiteral("log")}) {
            QCOMPARE(box.recorded(QStringLiteral("elsewhere") + name), "precious\n");
            struct stat target { };
            QVERIFY(::stat(QFile::encodeName(elsewhere + name).constData(), &target) == 0);
            QCOMPARE(target.st_mode & 0777, 0604u);
        }
        struct stat facts { };
        QVERIFY(::lstat(QFile::encodeName(data + QStringLiteral("freshclam.conf")).constData(), &facts) == 0);
        QVERIFY(S_ISREG(facts.st_mode));
        QVERIFY(box.recorded(QStringLiteral("configuration")).contains("LogSyslog no\n"));
        QVERIFY(!QFileInfo(box.program.file(QStringLiteral("vkupdate.log"))).isSymLink());
        QVERIFY(!box.program.read(QStringLiteral("vkupdate.log")).contains("precious"));
        QVERIFY2(box.log().last().contains(u"status 0"), qPrintable(box.log().join(u'\n')));
    }

    void saysSoWithoutFreshclam()
    {
        Sandbox box;
        QCOMPARE(box.run(QStringLiteral("0")), 2);
        const QStringList log = box.log();
        QCOMPARE(log.size(), 2);
        QVERIFY2(log[1].contains(u"freshclam is not installed"), qPrintable(log[1]));
        QVERIFY(!QFile::exists(box.root + QStringLiteral("/data/corvatek/signatures")));
    }
};

QTEST_GUILESS_MAIN(TestVkupdate)
#include "tst_vkupdate.moc"
