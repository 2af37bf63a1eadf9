#include "privatemounts.h"
#include "testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using corvatek::test::PrivateMounts;

namespace {

const QString kVkNotify = QStringLiteral(CORVATEK_VKNOTIFY);
const QString kListener = QStringLiteral(CORVATEK_NOTIFICATION_LISTENER);

// What programs send to the system log. In a mount namespace of the test's
// own, /dev becomes a tmpfs holding the device nodes programs need and a
// datagram socket as "log" (the machine may have no /dev/log at all).
// Nothing of the machine's /dev is ever mounted where it could be removed.
class SystemLog {
public:
    SystemLog()
    {
        if (!mounts_.available()) {
            problem_ = mounts_.problem();
            return;
        }
        if (QFile::symLinkTarget(QStringLiteral("/proc/self/ns/mnt")) ==
            QFile::symLinkTarget(QStringLiteral("/proc/1/ns/mnt"))) {
            problem_ = QStringLiteral("no mount namespace of the test's own");
            return;
        }
        QList<std::pair<QByteArray, dev_t>> nodes;
        for (const char* name : {"null", "zero", "random", "urandom"}) {
            struct stat facts { };
            const QByteArray path = QByteArray("/dev/") + name;
            if (::stat(path.constData(), &facts) == 0 && S_ISCHR(facts.st_mode))
                nodes.append({path, facts.st_rdev});
        }
        if (!mounts_.mountTmpfs(QStringLiteral("/dev"))) {
            problem_ = QStringLiteral("cannot mount a private /dev");
            return;
        }
        for (const auto& [path, device] : nodes) {
            if (::mknod(path.constData(), S_IFCHR | 0666, device) != 0 || ::chmod(path.constData(), 0666) != 0)
                problem_ = QStringLiteral("cannot make the device nodes of a private /dev");
        }
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            problem_ = QStringLiteral("cannot put a log socket in place of /dev/log");
    }
    ~SystemLog()
    {
        if (socket_ >= 0)
            ::close(socket_);
    }

    const QString& problem() const { return problem_; }

    // The lines `ident` logged, waiting for them up to `waitMs`.
    QStringList linesOf(const QString& ident, int waitMs) const
    {
        QStringList lines;
        pollfd readable {socket_, POLLIN, 0};
        while (::poll(&readable, 1, lines.isEmpty() ? waitMs : 100) > 0) {
            char datagram[2048];
            const ssize_t n = ::recv(socket_, datagram, sizeof datagram, 0);
            const QString line = QString::fromUtf8(datagram, n > 0 ? n : 0);
            if (line.contains(ident + u'['))
                lines.append(line);
        }
        return lines;
    }

private:
    PrivateMounts mounts_;
    QString problem_;
    int socket_ = -1;
};

struct Run {
    QMap<QString, QString> record; // from the listener
    bool finished = false;
    int exitCode = -1;
    qint64 elapsedMs = -1;
};

// vknotify.exe on a private session bus where the notification service
// answers, never answers or is absent.
Run onPrivateBus(const QString& service, const QStringList& arguments)
{
    Run run;
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("record"));
    QProcess bus;
    bus.start(QStringLiteral("dbus-run-session"),
        QStringList {QStringLiteral("--"), kListener, record, service, kVkNotify} + arguments);
    run.finished = bus.waitForFinished(20000) && bus.exitCode() == 0;
    QFile file(record);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0)
                run.record.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
        }
    }
    run.exitCode = run.record.value(QStringLiteral("exit"), QStringLiteral("-1")).toInt();
    run.elapsedMs = run.record.value(QStringLiteral("elapsed"), QStringLiteral("-1")).toLongLong();
    return run;
}

Run withoutBus(const QStringList& arguments)
{
    Run run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(kVkNotify, arguments);
    run.finished = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit;
    run.elapsedMs = clock.elapsed();
    run.exitCode = process.exitCode();
    return run;
}

bool haveBusTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty();
}

} // namespace

class TestVkNotify : public QObject {
    Q_OBJECT

    // The program folder the notifier reads the language and the quarantine
    // list from, so that what a build folder holds never counts.
    corvatek::test::TestFolder folder_;

private slots:
    void initTestCase()
    {
        qputenv("CORVATEK_DATA_DIR", QFile::encodeName(folder_.path()));
        folder_.speak("GB");
    }

    void saysFixedMessagesInTheUserLanguage_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("body");
        QTest::newRow("disk check") << QByteArray("GB") << QStringLiteral("ok0")
                                    << QStringLiteral("The disk check has finished.");
        QTest::newRow("folder check") << QByteArray("FR") << QStringLiteral("ok1")
                                      << QStringLiteral("La vérification de lecture du dossier est terminée.");
        QTest::newRow("system setting") << QByteArray("DE") << QStringLiteral("change;registre")
                                        << QStringLiteral("Eine Einstellung des Systems hat sich geändert.");
        QTest::newRow("not saved") << QByteArray("ESP") << QStringLiteral("erreur;configuration;checkb")
                                   << QStringLiteral("No se pudieron guardar los ajustes.");
        QTest::newRow("not made") << QByteArray("GB") << QStringLiteral("erreur;creation;configuration")
                                  << QStringLiteral("The settings file could not be made.");
        QTest::newRow("quarantined") << QByteArray("ITA") << QStringLiteral("my;app")
                                     << QStringLiteral("my app, un programma in quarantena, è stato fermato.");
        QTest::newRow("any other text") << QByteArray("DE") << QStringLiteral("ok2;my;app") << QStringLiteral("ok2 my app");
    }

    void saysFixedMessagesInTheUserLanguage()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, message);
        QFETCH(QString, body);
        if (!haveBusTools())
            QSKIP("dbus-run-session is missing (package dbus-daemon)");
        folder_.speak(language);
        folder_.write(QStringLiteral("quarantaines.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
            "<FIELD attrname=\"Champ1\" fieldtype=\"string\" WIDTH=\"200\"/></FIELDS><PARAMS/></METADATA>"
            "<ROWDATA><ROW Champ1=\"other\"/><ROW Champ1=\" My App \"/></ROWDATA></DATAPACKET>\r\n");
        const Run run = onPrivateBus(QStringLiteral("answer"), {message});
        folder_.speak("GB");
        QVERIFY(run.finished);
        QCOMPARE(run.record.value(QStringLiteral("body")), body);
    }

    void showsTheMessageAsANotification()
    {
        if (!haveBusTools())
            QSKIP("dbus-run-session is missing (package dbus-daemon)");
        const Run run = onPrivateBus(QStringLiteral("answer"), {QStringLiteral("Scan;done:;<2>;threats;&;more")});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.elapsedMs < 1000, qPrintable(QString::number(run.elapsedMs)));
        const QMap<QString, QString> expected {
            {QStringLiteral("signature"), QStringLiteral("susssasa{sv}i")},
            {QStringLiteral("app_name"), QStringLiteral("Corvatek")},
            {QStringLiteral("replaces_id"), QStringLiteral("0")},
            {QStringLiteral("app_icon"), QStringLiteral("corvatek")},
            {QStringLiteral("summary"), QStringLiteral("Corvatek")},
            // The service reads markup: the text must stay text.
            {QStringLiteral("body"), QStringLiteral("Scan done: &lt;2&gt; threats &amp; more")},
            {QStringLiteral("actions"), QString()},
            {QStringLiteral("expire_timeout"), QStringLiteral("-1")},
        };
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(run.record.value(it.key(), QStringLiteral("(none)")), it.value());
    }

    void sendsOneLineOfBoundedLength_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("body");

        const QString accent = QStringLiteral("e\u0301");
        const QString emoji = QStringLiteral("\U0001F600");
        const QString ellipsis = QStringLiteral("\u2026");
        QTest::newRow("control characters") << QStringList {QStringLiteral("Scan\tdone:\x01"),
                                                   QStringLiteral("a\x7f") + QChar(0x85) + QStringLiteral("b\nc")}
                                            << QStringLiteral("Scan done:  a  b c");
        QTest::newRow("the longest") << QStringList {QString(1000, u'x')} << QString(1000, u'x');
        QTest::newRow("a megabyte") << QStringList(10, QString(100000, u'x')) << QString(999, u'x') + ellipsis;
        QTest::newRow("never a letter without its accent")
            << QStringList {accent.repeated(600)} << accent.repeated(499) + ellipsis;
        QTest::newRow("emoji count as one") << QStringList {emoji.repeated(1200)} << emoji.repeated(999) + ellipsis;
    }

    void sendsOneLineOfBoundedLength()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, body);
        if (!haveBusTools())
            QSKIP("dbus-run-session is missing (package dbus-daemon)");
        const Run run = onPrivateBus(QStringLiteral("answer"), arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.elapsedMs < 1000, qPrintable(QString::number(run.elapsedMs)));
        QCOMPARE(run.record.value(QStringLiteral("body")), body);
    }

    void fallsBackToTheSystemLog_data()
    {
        QTest::addColumn<QString>("service"); // empty: no bus at all
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("logged"); // empty: nothing

        QTest::newRow("no bus") << QString() << QStringList {QStringLiteral("Update;failed")}
                                << QStringLiteral("Update failed");
        QTest::newRow("no service") << QStringLiteral("absent") << QStringList {QStringLiteral("change;registre")}
                                    << QStringLiteral("A setting of the system has changed.");
        QTest::newRow("service never answers")
            << QStringLiteral("silent") << QStringList {QStringLiteral("Threat;in;/tmp/a;b")}
            << QStringLiteral("Threat in /tmp/a b");
        QTest::newRow("control characters")
            << QString() << QStringList {QStringLiteral("Disk\nfull\tnow")} << QStringLiteral("Disk full now");
        QTest::newRow("no message") << QString() << QStringList() << QString();
    }

    void fallsBackToTheSystemLog()
    {
        QFETCH(QString, service);
        QFETCH(QStringList, arguments);
        QFETCH(QString, logged);
        if (!service.isEmpty() && !haveBusTools())
            QSKIP("dbus-run-session is missing (package dbus-daemon)");
        const SystemLog log;
        const Run run = service.isEmpty() ? withoutBus(arguments) : onPrivateBus(service, arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.elapsedMs < 1000, qPrintable(QString::number(run.elapsedMs)));
        QVERIFY(!run.record.contains(QStringLiteral("body")));
        if (!log.problem().isEmpty())
            QSKIP(qPrintable(QStringLiteral("ended in time; the system log line is not checked: ") + log.problem()));
        const QStringList lines = log.linesOf(QStringLiteral("vknotify.exe"), logged.isEmpty() ? 300 : 3000);
        if (logged.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join(u'\n')));
        } else {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines.first().endsWith(QStringLiteral("]: ") + logged), qPrintable(lines.first()));
        }
    }
};

QTEST_GUILESS_MAIN(TestVkNotify)
#include "tst_vknotify.moc"
