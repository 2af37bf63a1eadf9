// A second start on Windows: it ends at once and the running control
// centre's window comes forward. Real programs, real windows (under wine in
// CI, on a virtual display).
#include "testfolder.h"

#include <windows.h>

#include <QDir>
#include <QProcess>
#include <QTest>
#include <QWidget>

using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

class TestSecondStart : public QObject {
    Q_OBJECT

private slots:
    void aSecondStartEndsAndBringsTheFirstForward()
    {
        TestFolder folder;
        const QString program = folder.file(QStringLiteral("corvatek.exe"));
        QVERIFY(QFile::copy(QStringLiteral(CORVATEK_EXECUTABLE), program));
        const QDir shipped(QStringLiteral(CORVATEK_SHIPPED_DATA));
        for (const QString& name : shipped.entryList({QStringLiteral("*.txt")}, QDir::Files))
            QVERIFY(QFile::copy(shipped.filePath(name), folder.file(name)));
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
};

QTEST_MAIN(TestSecondStart)
#include "tst_secondstart.moc"
