#include "platform/platform.h"
#include "shell/application.h"
#include "shell/singleinstance.h"
#include "shell/trayhost.h"
#include "shellfixture.h"

#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

const QStringList kEndStops {"vkcheck.exe", "vkprobe.exe", "vkguard.exe", "vksites.exe", "vkwall.exe", "vkmail.exe",
    "vksave.exe", "vkupdate.exe", "vkreach.exe"};

QStringList running(const TestFolder& folder)
{
    QStringList names;
    for (const auto& start : folder.starts()) {
        if (folder.processes().contains(start.pid))
            names.append(start.name);
    }
    names.sort();
    return names;
}

void startAll(const TestFolder& folder, const QStringList& names)
{
    for (const QString& name : names) {
        if (!folder.exists(name))
            folder.installCompanion(name);
        QVERIFY(platform::startDetached(folder.file(name).toStdString(), {}));
    }
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
        QVERIFY(window.Timer1->isActive());
        QVERIFY(!window.marker(Target::Home));
        QTest::qWait(100);
        QCOMPARE(running(fixture.folder), (QStringList {"vkguard.exe", "vkmail.exe", "vkreach.exe", "vksave.exe"}));
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
        QSignalSpy quits(&window, &shell::TForm2::quitRequested);

        fixture.answer = false;
        fixture.clickItem(ShellFixture::rowOf(Target::Quit));
        QCOMPARE(fixture.questions, QStringList {window.state().caption(65)});
        QCOMPARE(quits.count(), 0);
        QTest::qWait(100);
        QCOMPARE(fixture.folder.processes().size(), 7);

        fixture.answer = true;
        fixture.clickItem(ShellFixture::rowOf(Target::Quit));
        QCOMPARE(quits.count(), 1);
        // The quit item's own list spares the mail filter and the backup tool...
        QVERIFY(waitUntil([&] {
            return running(fixture.folder) == QStringList {"vkmail.exe", "vknotify.exe", "vksave.exe"};
        }));
        // ...which the ordinary end stops; the notifier outlives the suite.
        fixture.stop();
        QVERIFY(waitUntil([&] { return running(fixture.folder) == QStringList {"vknotify.exe"}; }));
    }

    void theTrayIconOpensTheSiteThenItsMenu()
    {
        QStringList opened;
        int shown = 0;
        shell::TForm1 tray([&] { opened << QStringLiteral("site"); }, [&] { ++shown; });
        QCOMPARE(tray.icon->toolTip(), QStringLiteral("Corvatek"));
        QCOMPARE(tray.PopupMenu1->actions().size(), 1);
        QCOMPARE(tray.scannprocess1->text(), QStringLiteral("Corvatek"));
        for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            tray.trayActivated(reason);
        QVERIFY(opened.isEmpty() && !tray.PopupMenu1->isVisible());
        tray.trayActivated(QSystemTrayIcon::Context);
        QCOMPARE(opened.size(), 1);
        QVERIFY(tray.PopupMenu1->isVisible());
        tray.PopupMenu1->hide();
        tray.trayActivated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(opened.size(), 2);
        tray.scannprocess1->trigger();
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
        TestFolder folder;
        QVERIFY(QFile::copy(QStringLiteral(CORVATEK_EXECUTABLE), folder.file(QStringLiteral("corvatek"))));
        QFile::setPermissions(folder.file(QStringLiteral("corvatek")), QFile::ReadOwner | QFile::ExeOwner);
        ShellFixture languages;
        for (const QString& name : QDir(QStringLiteral(CORVATEK_SHIPPED_DATA)).entryList({"*.txt"}))
            QFile::copy(QStringLiteral(CORVATEK_SHIPPED_DATA) + name, folder.file(name));
        for (const QString& name : kEndStops)
            folder.installCompanion(name);
        TestFolder runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path());

        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(folder.file(QStringLiteral("corvatek")), {});
        QVERIFY(first.waitForStarted());
        QVERIFY(waitUntil([&] { return running(folder) == QStringList {"vkguard.exe", "vkreach.exe"}; }));
        // Written a few steps after those starts.
        QVERIFY(waitUntil([&] { return folder.exists(QStringLiteral("ctrlpl.txt")); }));

        // A second start ends at once and leaves the first alone.
        shell::SingleInstance probe(QStringLiteral("corvatek.exe"));
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QVERIFY(!probe.claim());
        qunsetenv("XDG_RUNTIME_DIR");
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(folder.file(QStringLiteral("corvatek")), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(folder.starts().size(), 2);

        startAll(folder, {"vkmail.exe", "vksave.exe", "vkwall.exe"});
        QVERIFY(waitUntil([&] { return running(folder).size() == 5; }));
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QVERIFY(waitUntil([&] { return running(folder).isEmpty(); }));

        // The lock died with it: the next start is the one instance again.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QVERIFY(probe.claim());
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void aSecondStartReachesTheFirstInstance()
    {
        TestFolder runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        shell::SingleInstance first(QStringLiteral("corvatek-test"));
        QVERIFY(first.claim());
        QSignalSpy messages(&first, &shell::SingleInstance::messageReceived);
        shell::SingleInstance second(QStringLiteral("corvatek-test"));
        QVERIFY(!second.claim());
        QVERIFY(second.send(shell::kSecondStartMessage));
        QVERIFY(messages.wait(5000) || messages.count() > 0);
        QCOMPARE(messages.first().first().toByteArray(), QByteArray(shell::kSecondStartMessage));
        qunsetenv("XDG_RUNTIME_DIR");

        // The first shows its window only when no tray icon can bring it back.
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
};

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
