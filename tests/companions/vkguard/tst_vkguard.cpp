#include "data/datapacket.h"
#include "data/programfiles.h"
#include "platform/localsocket.h"
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
#include <QThread>
#include <QUuid>

#include <atomic>
#include <list>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace corvatek;
using corvatek::test::TestFolder;
using corvatek::test::writeFile;
using corvatek::test::waitUntil;
namespace guard = corvatek::scanning::guard;

namespace {

const QString kBodyName = QStringLiteral("Corvatek.Test.Body.UNOFFICIAL");
const QString kHashName = QStringLiteral("Corvatek.Test.Hash.UNOFFICIAL");

// A user's world in a temporary folder: home, runtime folder, the client and
// its engine in a program folder with a stand-in notifier, and a database of
// two signatures made for this run. The guard service is not there unless
// the test plays it.
class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        home = root + QStringLiteral("/home");
        downloads = home + QStringLiteral("/Downloads");
        config = home + QStringLiteral("/.config");
        runtime = root + QStringLiteral("/runtime");
        signatures = root + QStringLiteral("/signatures");
        socket = root + QStringLiteral("/guard.socket");
        for (const QString& folder : {downloads, runtime, signatures})
            QDir().mkpath(folder);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        QFile::copy(QStringLiteral(CORVATEK_VKGUARD), program.file(QStringLiteral("vkguard.exe")));
        QFile::copy(QStringLiteral(CORVATEK_VKGUARD_ENGINE), program.file(QStringLiteral("vkguardscan.exe")));
        program.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
        program.speak("GB");
        program.write(QStringLiteral("track.txt"), "2\r\n");

        marker = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        hashed = "hashed-" + QUuid::createUuid().toRfc4122().toHex();
        writeFile(signatures + QStringLiteral("/test.hdb"),
            QCryptographicHash::hash(hashed, QCryptographicHash::Md5).toHex() + ':' +
                QByteArray::number(hashed.size()) + ":Corvatek.Test.Hash\n");
        writeFile(signatures + QStringLiteral("/test.ndb"), "Corvatek.Test.Body:0:*:" + marker.toHex() + '\n');

        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), root + QStringLiteral("/xdg"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("CORVATEK_SIGNATURES"), signatures);
        environment.insert(QStringLiteral("CORVATEK_GUARD_SOCKET"), socket);
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program.path());
    }

    // The switches as the control centre saves them: "110000000000".
    void setFlags(const QByteArray& flags) const
    {
        data::Table table = data::defaultTable(data::TableId::Configuration);
        QStringList values;
        for (const char flag : flags)
            values.append(QString(QLatin1Char(flag)));
        table.clearRows();
        table.appendRow(values);
        QVERIFY(data::ProgramFiles(program.path()).saveTable(data::TableId::Configuration, table).ok());
    }

    ~Sandbox()
    {
        for (QProcess& guard : guards_) {
            guard.kill();
            guard.waitForFinished();
        }
    }

    QProcess& start()
    {
        QProcess& guard = guards_.emplace_back();
        guard.setProcessEnvironment(environment);
        guard.start(program.file(QStringLiteral("vkguard.exe")), {});
        guard.waitForStarted();
        return guard;
    }

    QString log() const { return QString::fromUtf8(program.read(QStringLiteral("vkguard.log"))); }
    bool logged(const QString& text, int timeoutMs = 10000) const
    {
        return waitUntil([&] { return log().contains(text); }, timeoutMs);
    }
    QStringList lines(const QString& name) const
    {
        QStringList lines = QString::fromUtf8(program.read(name)).split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }
    QList<QStringList> alerts() const { return test::tableRows(program.path(), data::TableId::Alerts); }
    // The alert of the file at `path`; empty when there is none.
    QStringList alertOf(const QString& path) const
    {
        for (const QStringList& row : alerts()) {
            if (row.value(7) == path)
                return row;
        }
        return {};
    }
    bool alerted(const QString& path) const
    {
        return waitUntil([&] { return !alertOf(path).isEmpty(); });
    }

    TestFolder program;
    QString root, home, downloads, config, runtime, signatures, socket;
    QByteArray marker, hashed;
    QProcessEnvironment environment;

private:
    QTemporaryDir dir_;
    std::list<QProcess> guards_;
};

QString detection(const QString& path, const QString& signature)
{
    return path + QStringLiteral(" : ") + signature;
}

// The guard service as the client sees it: a SOCK_SEQPACKET socket at the
// sandbox's path, one client at a time.
class FakeService {
public:
    explicit FakeService(const QString& path)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
        listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
    }
    ~FakeService()
    {
        hangUp();
        ::close(listener_);
    }

    // Takes the client's connection and its guard request.
    std::optional<guard::Guarding> accept(int timeoutMs = 10000)
    {
        pollfd waiting {listener_, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) != 1)
            return std::nullopt;
        hangUp();
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        pollfd request {client_, POLLIN, 0};
        char buffer[guard::kMaxEvent + 1];
        const ssize_t n = ::poll(&request, 1, timeoutMs) == 1 ? ::recv(client_, buffer, sizeof buffer, 0) : -1;
        return n > 0 ? guard::parseGuarding(std::string_view(buffer, std::size_t(n))) : std::nullopt;
    }
    void send(const std::string& text) const { ::send(client_, text.data(), text.size(), MSG_NOSIGNAL); }
    void answer(std::string_view detail) const
    {
        send(guard::answerText({guard::Answer::Guarding, ::getuid(), std::string(detail)}));
    }
    void tell(const guard::Event& event) const { send(guard::eventText(::getuid(), event)); }
    void hangUp()
    {
        if (client_ >= 0)
            ::close(client_);
        client_ = -1;
    }

private:
    int listener_ = -1;
    int client_ = -1;
};

guard::Event detected(guard::Action action, const std::string& path, const std::string& program)
{
    guard::Event event;
    event.action = action;
    event.signature = "Corvatek.Service.Test";
    event.path = path;
    event.program = program;
    event.modified = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch();
    return event;
}

guard::Event firstRun(const std::string& path)
{
    guard::Event event;
    event.kind = guard::Event::Modification;
    event.watched = guard::Watched::Programs;
    event.change = guard::Change::FirstRun;
    event.path = path;
    return event;
}

} // namespace

class TestVkguard : public QObject {
    Q_OBJECT

private slots:
    void checksFilesWrittenIntoTheUsersFoldersItself()
    {
        Sandbox box;
        box.setFlags("110000000000");
        QProcess& guard = box.start();
        QVERIFY(box.logged(QStringLiteral("are checked after writing, not blocked")));
        QVERIFY(box.logged(QStringLiteral("Signatures loaded from ") + box.signatures + QStringLiteral(": 2")));

        const QString clean = box.downloads + QStringLiteral("/clean.txt");
        const QString setup = box.downloads + QStringLiteral("/setup.exe");
        const QString notes = box.home + QStringLiteral("/notes.txt");
        writeFile(clean, "nothing to see");
        writeFile(setup, "text " + box.marker + " text");
        writeFile(notes, box.hashed);
        QVERIFY(box.alerted(setup));
        QVERIFY(box.alerted(notes));
        const QStringList alert = box.alertOf(setup);
        QCOMPARE(alert.value(0), QStringLiteral("setup.exe"));
        QCOMPARE(alert.value(2), QStringLiteral("Found after an unknown program wrote it, not blocked"));
        QVERIFY(!alert.value(1).isEmpty() && !alert.value(3).isEmpty());
        QVERIFY(box.lines(QStringLiteral("viri.txt")).contains(detection(setup, kBodyName)));
        QVERIFY(box.lines(QStringLiteral("viri.txt")).contains(detection(notes, kHashName)));
        QVERIFY(box.alertOf(clean).isEmpty());
        QFile written(setup);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), "text " + box.marker + " text");
        QVERIFY(waitUntil([&] { return !box.program.argumentsOf(QStringLiteral("vknotify.exe")).isEmpty(); }));
        const QString told = box.program.argumentsOf(QStringLiteral("vknotify.exe")).first().join(u' ');
        QVERIFY2(told.contains(QStringLiteral("setup.exe")), qPrintable(told));

        // The same file written again within the minute is one detection.
        writeFile(setup, "again " + box.marker);
        const QString other = box.downloads + QStringLiteral("/other.exe");
        writeFile(other, box.marker);
        QVERIFY(box.alerted(other));
        QCOMPARE(box.alerts().size(), 3);
        QCOMPARE(box.lines(QStringLiteral("viri.txt")).size(), 3);

        // The downloads switch alone, read from the rewritten file while running.
        box.setFlags("010000000000");
        QVERIFY(box.logged(QStringLiteral("switches 010000000000")));
        QVERIFY(box.logged(QStringLiteral("files written into ") + box.downloads + QStringLiteral(" are checked")));
        const QString inHome = box.home + QStringLiteral("/late.txt");
        const QString inDownloads = box.downloads + QStringLiteral("/late.exe");
        writeFile(inHome, box.marker);
        writeFile(inDownloads, box.marker);
        QVERIFY(box.alerted(inDownloads));
        QVERIFY(box.alertOf(inHome).isEmpty());

        // Everything off: without the service there is nothing to do.
        box.setFlags("000000000000");
        QVERIFY(guard.waitForFinished(5000));
        QCOMPARE(guard.exitCode(), 1);
        QVERIFY(box.log().contains(QStringLiteral("there is nothing to protect")));
    }

    void endsAtOnceWhenItCannotProtect_data()
    {
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<bool>("withSignatures");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no signatures") << QByteArray("110111000000") << false << 2
                                       << QStringLiteral("neither the guard service nor signatures of its own");
        QTest::newRow("nothing switched on") << QByteArray("000000111111") << true << 1
                                             << QStringLiteral("there is nothing to protect");
    }
    void endsAtOnceWhenItCannotProtect()
    {
        QFETCH(QByteArray, flags);
        QFETCH(bool, withSignatures);
        QFETCH(int, status);
        QFETCH(QString, logged);
        Sandbox box;
        box.setFlags(flags);
        if (!withSignatures)
            QDir(box.signatures).removeRecursively();
        QProcess& guard = box.start();
        QVERIFY(guard.waitForFinished(3000));
        QCOMPARE(guard.exitStatus(), QProcess::NormalExit);
        QCOMPARE(guard.exitCode(), status);
        QVERIFY2(box.log().contains(logged), qPrintable(box.log()));
    }

    void tellsOfAutostartEntriesOnceEach()
    {
        Sandbox box;
        box.setFlags("000010000000");
        // The control centre's instance socket, as it listens.
        const int listener =
            platform::listenLocal(QFile::encodeName(box.runtime + QStringLiteral("/corvatek.exe.socket")).toStdString());
        QVERIFY(listener >= 0);
        box.start();
        QVERIFY(box.logged(QStringLiteral("Watching for changes in ") + box.config + QStringLiteral("/autostart")));

        // The folder does not exist yet; an editor's save is a burst.
        const QString entry = box.config + QStringLiteral("/autostart/updater.desktop");
        for (int i = 0; i < 5; ++i)
            writeFile(entry, "[Desktop Entry]\nExec=/tmp/evil\n");
        QVERIFY(waitUntil([&] { return !box.lines(QStringLiteral("moddemarrage.txt")).isEmpty(); }));
        QThread::msleep(700); // past the time a second line would have taken
        const QStringList lines = box.lines(QStringLiteral("moddemarrage.txt"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].endsWith(QStringLiteral(" created ") + entry), qPrintable(lines[0]));
        QVERIFY(!box.program.exists(QStringLiteral("modreglages.txt")));
        QVERIFY(!box.program.exists(QStringLiteral("modsysteme.txt")));

        std::string message;
        QVERIFY(waitUntil([&] {
            const int connection = platform::acceptLocal(listener);
            if (connection < 0)
                return false;
            QThread::msleep(50);
            message = platform::readLocal(connection, 256).bytes;
            platform::closeLocal(connection);
            return true;
        }));
        QCOMPARE(message, std::string("2997 2997 0\n"));
        platform::closeLocal(listener);
    }

    void killedAtAnyMomentLeavesWholeFiles()
    {
        Sandbox box;
        box.setFlags("110010000000");
        // A full alerts list, so that each write takes a while and is bounded.
        data::Table alerts = data::defaultTable(data::TableId::Alerts);
        for (int i = 0; i < 999; ++i)
            alerts.appendRow({QStringLiteral("old%1.exe").arg(i), QStringLiteral("1/1/2026 00:00:00"),
                QStringLiteral("Found"), {}, {}, {}, {}, QStringLiteral("/old/path/%1.exe").arg(i)});
        QVERIFY(data::ProgramFiles(box.program.path()).saveTable(data::TableId::Alerts, alerts).ok());

        std::atomic<bool> writing = true;
        std::thread writer([&] {
            for (int i = 0; writing; ++i) {
                writeFile(box.downloads + QStringLiteral("/bad%1.exe").arg(i), box.marker);
                writeFile(box.config + QStringLiteral("/autostart/entry%1.desktop").arg(i), "[Desktop Entry]\n");
                QThread::msleep(5);
            }
        });
        QRandomGenerator random(20261208);
        for (int run = 0; run < 12; ++run) {
            QProcess& guard = box.start();
            QThread::msleep(200 + random.bounded(800));
            ::kill(pid_t(guard.processId()), SIGKILL);
            guard.waitForFinished();
        }
        writing = false;
        writer.join();

        const auto packet = data::readDataPacket(box.program.read(QStringLiteral("alertes.xml")));
        QVERIFY(packet.table);
        QCOMPARE(packet.table->rowCount(), 1000);
        QVERIFY(packet.table->value(999, 7).startsWith(box.downloads + QStringLiteral("/bad")));
        for (const QString& name : {QStringLiteral("viri.txt"), QStringLiteral("moddemarrage.txt")}) {
            const QByteArray bytes = box.program.read(name);
            QVERIFY2(!bytes.isEmpty() && bytes.endsWith("\r\n"), qPrintable(name));
        }
        for (const QString& line : box.lines(QStringLiteral("viri.txt")))
            QVERIFY2(line.startsWith(box.downloads + QStringLiteral("/bad")) && line.endsWith(kBodyName), qPrintable(line));
    }

    void recordsWhatTheServiceTellsAndFallsBackWithoutIt()
    {
        Sandbox box;
        box.setFlags("110001000000");
        box.program.write(QStringLiteral("track.txt"), "3\r\n");
        FakeService service(box.socket);
        QProcess& guard = box.start();
        const std::optional<guard::Guarding> asked = service.accept();
        QVERIFY(asked);
        QCOMPARE(asked->level, 3);
        QCOMPARE(QString::fromStdString(asked->downloads), box.downloads);
        QVERIFY(asked->flag(1) && asked->flag(2) && asked->flag(6) && !asked->flag(3));
        service.answer(guard::kBlocking);
        QVERIFY(box.logged(QStringLiteral("Files are checked before they open, by the guard service")));
        // While the service checks, the client's own engine is not even loaded.
        QFile maps(QStringLiteral("/proc/%1/maps").arg(guard.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libclamav"));

        const QString written = box.downloads + QStringLiteral("/unchecked.exe");
        writeFile(written, box.marker);
        service.tell(detected(guard::Action::RefusedRun, "/srv/evil.sh", "/usr/bin/bash"));
        service.tell(firstRun("/opt/new/tool"));
        service.tell(firstRun("/opt/new/tool"));
        QVERIFY(box.alerted(QStringLiteral("/srv/evil.sh")));
        const QStringList alert = box.alertOf(QStringLiteral("/srv/evil.sh"));
        QCOMPARE(alert.value(0), QStringLiteral("evil.sh"));
        QCOMPARE(alert.value(2), QStringLiteral("Run refused: /usr/bin/bash tried to start it"));
        QVERIFY(box.lines(QStringLiteral("viri.txt")).contains(detection(QStringLiteral("/srv/evil.sh"),
            QStringLiteral("Corvatek.Service.Test"))));
        QVERIFY(waitUntil([&] { return !box.lines(QStringLiteral("modprocess.txt")).isEmpty(); }));
        QVERIFY(box.alertOf(written).isEmpty());

        // Told again a minute later, a program run before stays listed once.
        guard.kill();
        guard.waitForFinished();
        QProcess& again = box.start();
        QVERIFY(service.accept());
        service.answer(guard::kBlocking);
        service.tell(firstRun("/opt/new/tool"));
        service.tell(detected(guard::Action::RefusedOpen, "/srv/second.pdf", {}));
        QVERIFY(box.alerted(QStringLiteral("/srv/second.pdf")));
        QCOMPARE(box.alertOf(QStringLiteral("/srv/second.pdf")).value(2),
            QStringLiteral("Opening refused: an unknown program tried to open it"));
        QThread::msleep(700);
        const QStringList programs = box.lines(QStringLiteral("modprocess.txt"));
        QCOMPARE(programs.size(), 1);
        QVERIFY(programs[0].endsWith(QStringLiteral(" run for the first time /opt/new/tool")));

        // The service gone, the client checks files itself, and asks again.
        service.hangUp();
        QVERIFY(box.logged(QStringLiteral("The connection to the guard service was lost; trying again in 1 s")));
        QVERIFY(box.logged(QStringLiteral("are checked after writing, not blocked")));
        const QString fallback = box.downloads + QStringLiteral("/fallback.exe");
        writeFile(fallback, box.marker);
        QVERIFY(box.alerted(fallback));
        QVERIFY(service.accept());
        QVERIFY(box.logged(QStringLiteral("The guard service did not answer within 2 s")));
        QCOMPARE(again.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestVkguard)
#include "tst_vkguard.moc"
