// The shell's own ways on Windows: a second start ends at once and the
// running control centre's window comes forward; the tray icon answers the
// shell's callback message. Real programs, real windows (under wine in CI, on
// a virtual display).
#include "platform/trayicon.h"
#include "shell/trayhost.h"
#include "testfolder.h"

#include <windows.h>

#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QWidget>

using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

class TestWindowsShell : public QObject {
    Q_OBJECT

private slots:
    void aSecondStartEndsAndBringsTheFirstForward()
    {
        TestFolder folder;
        const QString program = folder.file(QStringLiteral("corvatek.exe"));
        QVERIFY(QFile::copy(QStringLiteral(CORVATEK_EXECUTABLE), program));
        folder.installShippedFiles();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));

        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(program, {});
        QVERIFY(first.waitForStarted());
        HWND window = nullptr;
        QVERIFY(waitUntil(
            [&] { return (window = ::FindWindowW(nullptr, L"Corvatek ")) && ::IsWindowVisible(window); }, 60000));

        // Another window takes the foreground.
        QWidget other;
        other.setWindowTitle(QStringLiteral("other"));
        other.show();
        const auto otherWindow = reinterpret_cast<HWND>(other.winId());
        ::SetForegroundWindow(otherWindow);
        QTRY_VERIFY_WITH_TIMEOUT(::GetForegroundWindow() == otherWindow, 10000);

        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(program, {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(::GetForegroundWindow() == window, 10000);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished());
    }

    void theTrayIconAnswersOnlyARightPressAndALeftDoubleClick()
    {
        int opened = 0;
        corvatek::shell::TrayHost tray([&] { ++opened; }, [] {});
        QVERIFY(tray.systemIcon && !tray.icon);
        QVERIFY(tray.iconVisible());
        const auto window = reinterpret_cast<HWND>(tray.systemIcon->window());
        QVERIFY(::IsWindow(window) && !::IsWindowVisible(window));
        const auto mouse = [&](UINT event) { ::SendMessageW(window, WM_USER + 1, 1, LPARAM(event)); };

        for (const UINT ignored : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONDOWN})
            mouse(ignored);
        QCOMPARE(opened, 0);
        QVERIFY(!tray.trayMenu->isVisible());
        mouse(WM_RBUTTONDOWN);
        QCOMPARE(opened, 1);
        QTRY_VERIFY(tray.trayMenu->isVisible());
        tray.trayMenu->hide();
        mouse(WM_LBUTTONDBLCLK);
        QCOMPARE(opened, 2);
        QTRY_VERIFY(tray.trayMenu->isVisible());
        tray.trayMenu->hide();

        // Gone with its host: the window, and with it the icon.
        tray.systemIcon.reset();
        QVERIFY(!::IsWindow(window));
    }
};

QTEST_MAIN(TestWindowsShell)
#include "tst_windowsshell.moc"
