#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

const QString kUpdater = QStringLiteral(CORVATEK_VKUPDATE);

// Stands in for freshclam: records its arguments and the configuration it
// was given, puts a database into its data folder, talks as freshclam does
// and ends as STANDIN asks (a status, or "hang" to never end by itself).
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
  sleep 60 &
  echo $! > "$RECORD/sleeper"
  wait
fi
exit "$STANDIN"
)sh";

class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        bin = root + QStringLiteral("/bin");
        QDir().mkpath(bin);
        QFile::copy(kUpdater, program.file(QStringLiteral("vkupdate.exe")));
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
        for (const char* tool : {"cat", "sleep"})
            QFile::link(QStandardPaths::findExecutable(QLatin1String(tool)), bin + u'/' + QLatin1String(tool));
    }

    // The exit status; -1 when the updater crashed or did not end.
    int run(const QString& standIn)
    {
        QProcess process;
        QProcessEnvironment env = environment;
        env.insert(QStringLiteral("STANDIN"), standIn);
        env.insert(QStringLiteral("CORVATEK_UPDATE_LIMIT"), QStringLiteral("2"));
        process.setProcessEnvironment(env);
        process.start(program.file(QStringLiteral("vkupdate.exe")), {QStringLiteral("0")});
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
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

        // One that never ends is stopped, with what it started.
        QCOMPARE(box.run(QStringLiteral("hang")), 1);
        QVERIFY2(
            box.log().last().startsWith(QStringLiteral("freshclam was stopped after ")), qPrintable(box.log().last()));
        const int sleeper = box.recorded(QStringLiteral("sleeper")).trimmed().toInt();
        QVERIFY(sleeper > 0);
        QVERIFY(waitUntil([sleeper] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(sleeper));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        }));
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
