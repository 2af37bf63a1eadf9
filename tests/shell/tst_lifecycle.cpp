#include "localisation/texts.h"
#include "platform/processes.h"
#include "platform/session.h"
#include "shell/application.h"
#include "shell/singleinstance.h"
#include "shell/trayhost.h"
#include "shellfixture.h"

#include <QMenu>
#include <QProcess>
#include <QScopeGuard>
#include <QSessionManager>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

using namespace corvatek;
using corvatek::shell::Target;
using Claim = corvatek::shell::SingleInstance::Claim;
using corvatek::test::ShellFixture;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

const QStringList kEndStops {"vkcheck.exe", "vkprobe.exe", "vkguard.exe", "vksites.exe", "vkwall.exe", "vkmail.exe",
    "vksave.exe", "vkupdate.exe", "vkreach.exe"};

// The real executable in a program folder of its own, with the shipped
// language files, the companions it stops at its end, and a private
// runtime and configuration folder.
struct InstalledProgram {
    InstalledProgram()
    {
        QFile::copy(QStringLiteral(CORVATEK_EXECUTABLE), folder.file(QStringLiteral("corvatek")));
        QFile::setPermissions(folder.file(QStringLiteral("corvatek")), QFile::ReadOwner | QFile::ExeOwner);
        folder.installShippedFiles();
        for (const QString& name : kEndStops)
            folder.installCompanion(name);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path());
    }
    void start(QProcess& process, const QProcessEnvironment& in) const
    {
        process.setProcessEnvironment(in);
        process.start(folder.file(QStringLiteral("corvatek")), {});
    }

    TestFolder folder;
    TestFolder runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

void startAll(const TestFolder& folder, const QStringList& names)
{
    for (const QString& name : names) {
        if (!folder.exists(name))
            folder.installCompanion(name);
        QVERIFY(platform::startDetached(folder.file(name).toStdString(), {}));
    }
}

// What a start finds with the environment as it is: "alone", "second", or
// the sentence telling why the guard is off.
QString claimed()
{
    shell::SingleInstance instance(QStringLiteral("corvatek-test"));
    switch (instance.claim()) {
    case Claim::Alone: return QStringLiteral("alone");
    case Claim::Second: return QStringLiteral("second");
    case Claim::GuardOff:
        return localisation::text(
            localisation::Language::English, localisation::Text::SingleInstanceOff, {instance.problem()});
    }
    return {};
}

// A sender on the instance socket, as a companion or a hostile local program
// would be: connects, writes `bytes`, and ends its side when `finish`.
struct Client {
    Client(const QString& path, const QByteArray& bytes = {}, bool finish = false)
    {
        sockaddr_un where {};
        where.sun_family = AF_UNIX;
        std::strncpy(where.sun_path, QFile::encodeName(path).constData(), sizeof where.sun_path - 1);
        const timeval wait {0, 500000}; // a full queue fails the connection instead of hanging
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
        ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
        if (finish)
            ::shutdown(fd, SHUT_WR);
        QCoreApplication::processEvents(); // lets the instance take it
    }
    ~Client() { ::close(fd); }
    // Whether the instance has closed the connection.
    bool dropped() const
    {
        char byte;
        const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected = false;
};

using Clients = std::vector<std::unique_ptr<Client>>;

int droppedCount(const Clients& clients)
{
    return int(std::count_if(clients.begin(), clients.end(), [](const auto& client) { return client->dropped(); }));
}

} // namespace

class TestLifecycle : public QObject {
    Q_OBJECT

private slots:
    void closingHidesAndLeavesTheSuiteRunning()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        for (const QString& name : kEndStops)
            fixture.folder.installCompanion(name);
        auto& window = fixture.start();
        window.show();
        startAll(fixture.folder, {"vkmail.exe", "vksave.exe"});
        QVERIFY(waitUntil([&] { return fixture.folder.starts().size() == 4; }));
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(fixture.opened, QStringList {QString::fromLatin1(shell::kProductWebSite)});
        QVERIFY(window.monitorTimer->isActive());
        QVERIFY(!window.shownPage(Target::Home));
        QTest::qWait(100);
        QCOMPARE(
            fixture.folder.runningNames(), (QStringList {"vkguard.exe", "vkmail.exe", "vkreach.exe", "vksave.exe"}));

        // What a session manager drives: a save request, which may be a mere
        // checkpoint, then the end of the session, which closes every window.
        fixture.opened.clear();
        window.show();
        shell::connectEnding(*static_cast<shell::ControlCentreApplication*>(qApp), window, -1);
        emit qApp->commitDataRequest(*qApp->findChild<QSessionManager*>());
        QTest::qWait(100);
        QCOMPARE(fixture.folder.runningNames().size(), 4);
        QTimer::singleShot(0, qApp, [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(fixture.opened.isEmpty() && !window.monitorTimer->isActive());
        QVERIFY(waitUntil([&] { return fixture.folder.runningNames().isEmpty(); }));
    }

    void quitAskesThenStopsTheSuite()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        for (const QString& name : kEndStops + QStringList {"vkhost.exe", "vknotify.exe"})
            fixture.folder.installCompanion(name);
        auto& window = fixture.start();
        startAll(fixture.folder, {"vkwall.exe", "vkmail.exe", "vksave.exe", "vkhost.exe", "vknotify.exe"});
        QVERIFY(waitUntil([&] { return fixture.folder.starts().size() == 7; }));
        QSignalSpy quits(&window, &shell::MainWindow::quitRequested);

        fixture.answer = false;
        fixture.clickItem(ShellFixture::rowOf(Target::Quit));
        QCOMPARE(fixture.questions, QStringList {window.state().caption(Caption::AreYouSure)});
        QCOMPARE(quits.count(), 0);
        QTest::qWait(100);
        QCOMPARE(fixture.folder.processes().size(), 7);

        fixture.answer = true;
        fixture.clickItem(ShellFixture::rowOf(Target::Quit));
        QCOMPARE(quits.count(), 1);
        // The quit item's own list spares the mail filter and the backup tool...
        QVERIFY(waitUntil([&] {
            return fixture.folder.runningNames() == QStringList {"vkmail.exe", "vknotify.exe", "vksave.exe"};
        }));
        // ...which the ordinary end stops; the notifier outlives the suite.
        fixture.stop();
        QVERIFY(waitUntil([&] { return fixture.folder.runningNames() == QStringList {"vknotify.exe"}; }));
    }

    void theTrayIconOpensTheSiteThenItsMenu()
    {
        QStringList opened;
        int shown = 0;
        shell::TrayHost tray([&] { opened << QStringLiteral("site"); }, [&] { ++shown; });
        QCOMPARE(tray.icon->toolTip(), QStringLiteral("Corvatek"));
        QCOMPARE(tray.trayMenu->actions().size(), 1);
        QCOMPARE(tray.showWindowAction->text(), QStringLiteral("Corvatek"));
        for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            tray.trayActivated(reason);
        QVERIFY(opened.isEmpty() && !tray.trayMenu->isVisible());
        tray.trayActivated(QSystemTrayIcon::Context);
        QCOMPARE(opened.size(), 1);
        QVERIFY(tray.trayMenu->isVisible());
        tray.trayMenu->hide();
        tray.trayActivated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(opened.size(), 2);
        tray.showWindowAction->trigger();
        QCOMPARE(shown, 1);
    }

    void autostartFollowsTheExecutable()
    {
        TestFolder home;
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        const QString entry = home.file(QStringLiteral("autostart/Corvatek.desktop"));
        shell::updateAutostart(QStringLiteral("/opt/Corvatek/corvatek"));
        QCOMPARE(
            QString::fromStdString(platform::autostartCommand("Corvatek")), QStringLiteral("/opt/Corvatek/corvatek"));
        QVERIFY(home.read(QStringLiteral("autostart/Corvatek.desktop")).contains("Exec=\"/opt/Corvatek/corvatek\"\n"));
        // A desktop skips the entry once the program is gone.
        QVERIFY(home.read(QStringLiteral("autostart/Corvatek.desktop")).contains("\nTryExec=/opt/Corvatek/corvatek\n"));

        // Untouched when it already holds this path: the user's own settings stay.
        QFile file(entry);
        QVERIFY(file.open(QIODevice::Append));
        file.write("X-GNOME-Autostart-enabled=false\n");
        file.close();
        const QByteArray before = home.read(QStringLiteral("autostart/Corvatek.desktop"));
        shell::updateAutostart(QStringLiteral("/opt/Corvatek/corvatek"));
        QCOMPARE(home.read(QStringLiteral("autostart/Corvatek.desktop")), before);

        // Rewritten for a path differing in letter case, or with awkward characters.
        for (const QString& path :
            {QStringLiteral("/opt/corvatek/corvatek"), QStringLiteral("/home/l\u00e9a/My \"apps\"/$x 100%/corvatek")}) {
            shell::updateAutostart(path);
            QCOMPARE(QString::fromStdString(platform::autostartCommand("Corvatek")), path);
            QVERIFY(
                home.read(QStringLiteral("autostart/Corvatek.desktop")).contains("X-GNOME-Autostart-enabled=false"));
        }
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The real executable: one instance per user, and SIGTERM ends it in
    // order, stopping the companions.
    void theProgramIsAloneAndEndsInOrderOnTermination()
    {
        InstalledProgram program;
        const TestFolder& folder = program.folder;
        const TestFolder& runtime = program.runtime;
        folder.setBehaviour(QStringLiteral("vkguard.exe"),
            {QStringLiteral("environment guard.txt CORVATEK_DATA_DIR"), QStringLiteral("stay")});
        QProcess first;
        program.start(first, program.environment);
        QVERIFY(first.waitForStarted());
        QVERIFY(waitUntil([&] { return folder.runningNames() == QStringList {"vkguard.exe", "vkreach.exe"}; }));
        // A writable copy keeps its files beside it, and says so to the companions.
        QVERIFY(waitUntil([&] { return folder.exists(QStringLiteral("guard.txt")); }));
        QCOMPARE(folder.read(QStringLiteral("guard.txt")), folder.path().toUtf8() + "\r\n");
        // Written a few steps after those starts.
        QVERIFY(waitUntil([&] { return folder.exists(QStringLiteral("ctrlpl.txt")); }));

        // A second start ends at once and leaves the first alone.
        shell::SingleInstance probe(QStringLiteral("corvatek.exe"));
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QCOMPARE(probe.claim(), Claim::Second);
        qunsetenv("XDG_RUNTIME_DIR");
        QProcess second;
        program.start(second, program.environment);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(folder.starts().size(), 2);

        // Without a display a second start still ends silently: it looks at
        // the lock before it needs one.
        {
            QProcessEnvironment headless = program.environment;
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                headless.remove(QString::fromLatin1(name));
            QProcess third;
            program.start(third, headless);
            QVERIFY(third.waitForFinished(10000));
            QCOMPARE(third.exitStatus(), QProcess::NormalExit);
            QCOMPARE(third.exitCode(), 0);
            QCOMPARE(third.readAllStandardError(), QByteArray());
            QCOMPARE(first.state(), QProcess::Running);
        }

        startAll(folder, {"vkmail.exe", "vksave.exe", "vkwall.exe"});
        QVERIFY(waitUntil([&] { return folder.runningNames().size() == 5; }));
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QVERIFY(waitUntil([&] { return folder.runningNames().isEmpty(); }));

        // The lock died with it: the next start is the one instance again.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QCOMPARE(probe.claim(), Claim::Alone);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // A request to end that arrives while start-up waits for a file: start-up
    // goes on to its end, then the program ends in order.
    void aTerminationDuringStartUpEndsInOrder()
    {
        InstalledProgram program;
        const TestFolder& folder = program.folder;
        // vkhost.exe is not stopped at start: it keeps start-up waiting.
        folder.installCompanion(
            QStringLiteral("vkhost.exe"), {QStringLiteral("lock configuration.xml 1500"), QStringLiteral("exit")});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vkhost.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("locked configuration.xml")); }));
        QProcess process;
        program.start(process, program.environment);
        QVERIFY(waitUntil([&] { return folder.exists(QStringLiteral("track.txt")); }));
        QVERIFY(!folder.journalLines().contains(QStringLiteral("unlocked configuration.xml")));
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(folder.journalLines().filter(QStringLiteral("vkguard.exe\t")).size(), 1);
        QVERIFY(waitUntil([&] { return folder.runningNames().isEmpty(); }));
    }

    // The first shows its window only when no tray icon can bring it back.
    void aSecondStartShowsTheWindowOnlyWithoutATrayIcon()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        shell::handleInstanceMessage(shell::kSecondStartMessage, true, window);
        QVERIFY(!window.isVisible());
        shell::handleInstanceMessage("something else", false, window);
        QVERIFY(!window.isVisible());
        shell::handleInstanceMessage(shell::kSecondStartMessage, false, window);
        QVERIFY(window.isVisible());
    }

    // Without a runtime folder the lock goes to <TMPDIR>/corvatek-<uid>, a
    // name anyone can take first. Whatever another user put there turns the
    // guard off with the reason; it never passes for a running instance.
    void aForeignPlaceForTheLockTurnsTheGuardOff()
    {
        TestFolder temporary;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] {
            qunsetenv("TMPDIR");
            if (!runtime.isEmpty())
                qputenv("XDG_RUNTIME_DIR", runtime);
        });
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", temporary.path().toLocal8Bit());
        const QString place = temporary.file(QStringLiteral("corvatek-%1").arg(::geteuid()));
        const QString off = QStringLiteral("The single-instance guard is off: ") + place;
        QDir root(temporary.path());

        temporary.write(place.section(QLatin1Char('/'), -1), "x");
        QCOMPARE(claimed(), off + QStringLiteral(" is not a folder."));
        QVERIFY(root.remove(place));

        QVERIFY(root.mkdir(QStringLiteral("elsewhere")));
        QVERIFY(QFile::link(temporary.file(QStringLiteral("elsewhere")), place));
        QCOMPARE(claimed(), off + QStringLiteral(" is a symbolic link."));
        QVERIFY(root.remove(place));

        QVERIFY(root.mkdir(place));
        QVERIFY(::chmod(QFile::encodeName(place).constData(), 0777) == 0);
        QCOMPARE(claimed(), off + QStringLiteral(" can be changed by other users."));
        QVERIFY(::chmod(QFile::encodeName(place).constData(), 0700) == 0);

        // The lock file is never followed through a link.
        const QString lock = place + QStringLiteral("/corvatek-test.lock");
        QVERIFY(QFile::link(temporary.file(QStringLiteral("target")), lock));
        QVERIFY(claimed().startsWith(QStringLiteral("The single-instance guard is off: ") + lock));
        QVERIFY(!temporary.exists(QStringLiteral("target")));
        QVERIFY(QFile::remove(lock));

        // A clean start makes the folder for the user alone.
        QVERIFY(root.rmdir(place));
        QCOMPARE(claimed(), QStringLiteral("alone"));
        struct stat made { };
        QVERIFY(::lstat(QFile::encodeName(place).constData(), &made) == 0);
        QCOMPARE(made.st_mode & 07777, mode_t(0700));
        QVERIFY(QFile::exists(lock));

        if (::geteuid() != 0)
            QSKIP("Only root can hand a folder to another user");
        QVERIFY(QDir(place).removeRecursively() && root.mkdir(place));
        QVERIFY(::chown(QFile::encodeName(place).constData(), 65534, 65534) == 0);
        QCOMPARE(claimed(), off + QStringLiteral(" belongs to another user."));
        // Nor is a runtime folder of someone else's used: the private one is.
        QVERIFY(root.mkdir(QStringLiteral("run")));
        QVERIFY(::chown(QFile::encodeName(temporary.file(QStringLiteral("run"))).constData(), 65534, 65534) == 0);
        qputenv("XDG_RUNTIME_DIR", temporary.file(QStringLiteral("run")).toLocal8Bit());
        QVERIFY(QDir(place).removeRecursively());
        QCOMPARE(claimed(), QStringLiteral("alone"));
        QVERIFY(QFile::exists(lock));
    }

    // A second start reaches the first, and whoever connects cannot hold
    // the window or slip a message in: silent, half-sent, flooding and
    // malformed senders are dropped while a real second start gets through.
    void sendersCannotHoldTheWindowOrSlipMessagesIn()
    {
        TestFolder runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const auto restore = qScopeGuard([] { qunsetenv("XDG_RUNTIME_DIR"); });
        shell::SingleInstance instance(QStringLiteral("corvatek-test"));
        QCOMPARE(instance.claim(), Claim::Alone);
        shell::SingleInstance second(QStringLiteral("corvatek-test"));
        QCOMPARE(second.claim(), Claim::Second);
        const QString socket = runtime.file(QStringLiteral("corvatek-test.socket"));

        // An instance that takes no connections yet cannot hold a second
        // start either: once its queue is full, sending gives up.
        Clients queued;
        while (queued.size() < 64 && (queued.empty() || queued.back()->connected))
            queued.push_back(std::make_unique<Client>(socket));
        QVERIFY(!queued.back()->connected);
        QVERIFY(!second.announceSecondStart());
        queued.clear(); // they gave up too
        instance.receiveMessages();
        QCoreApplication::processEvents(); // takes the queue off

        Clients silent;
        for (const QByteArray& sent : {QByteArray(), QByteArray(), QByteArray(), QByteArray("second-")})
            silent.push_back(std::make_unique<Client>(socket, sent));

        QByteArrayList messages;
        int openAtDelivery = 0;
        connect(&instance, &shell::SingleInstance::messageReceived, this, [&](const QByteArray& message) {
            messages << message;
            openAtDelivery = int(silent.size()) - droppedCount(silent);
        });
        QVERIFY(second.announceSecondStart());
        QTRY_COMPARE(messages, QByteArrayList {shell::kSecondStartMessage});
        QCOMPARE(openAtDelivery, 4);
        QTRY_COMPARE(droppedCount(silent), 4); // a second after they came

        // A flood is cut off at once, not when its time is up.
        Client waiting(socket);
        Client flood(socket, QByteArray(300, 'a'));
        QTRY_VERIFY(flood.dropped());
        QVERIFY(!waiting.dropped());
        Clients malformed;
        for (const QByteArray& text :
            {QByteArray("other\n"), QByteArray("second-start"), QByteArray("second-start\r\n"),
                QByteArray("second-start\nsecond-start\n"), QByteArray("2997 x 0\n"), QByteArray("2997 2997\n")})
            malformed.push_back(std::make_unique<Client>(socket, text, true));
        QTRY_COMPARE(droppedCount(malformed), 6);
        QCOMPARE(messages.size(), 1);
        // A companion's registry-change message is the other known form.
        Client registryChange(socket, QByteArray("2997 2997 0\n"), true);
        QTRY_COMPARE(messages.size(), 2);
        QCOMPARE(messages.last(), QByteArray("2997 2997 0"));

        // Past eight open connections, more are closed at once.
        QTRY_VERIFY(waiting.dropped());
        silent.clear();
        for (int i = 0; i < 8; ++i)
            silent.push_back(std::make_unique<Client>(socket));
        Client ninth(socket);
        QTRY_VERIFY(ninth.dropped());
        QCOMPARE(droppedCount(silent), 0);
    }
};

int main(int argc, char** argv)
{
    corvatek::shell::ControlCentreApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // as the program itself
    TestLifecycle test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_lifecycle.moc"
