#include "shell/application.h"

#include "platform/platform.h"
#include "shell/icons.h"
#include "shell/mainwindow.h"
#include "shell/singleinstance.h"
#include "shell/trayhost.h"

#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

namespace corvatek::shell {
namespace {

constexpr char kInstanceName[] = "corvatek.exe";

void showWindow(TForm2& window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

bool ControlCentreApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportError(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

void ControlCentreApplication::reportError(const QString& text)
{
    if (report_)
        report_(text);
    else
        QMessageBox::critical(activeWindow(), QStringLiteral("Corvatek"), text);
}

void handleInstanceMessage(const QByteArray& message, bool trayIconVisible, TForm2& window)
{
    // Without a visible tray icon a hidden window could not come back.
    if (message == kSecondStartMessage && !trayIconVisible)
        showWindow(window);
}

int run(int argc, char** argv, const PageRegistry& registry, RunOptions options)
{
    ControlCentreApplication app(argc, argv);
    SingleInstance instance(QString::fromLatin1(kInstanceName));
    if (!instance.claim()) {
        // A second start ends silently; the first decides whether to show.
        instance.send(kSecondStartMessage);
        return 0;
    }
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationName(QStringLiteral("Corvatek"));
    app.setWindowIcon(icon(QStringLiteral("corvatek")));

    Session session(QString::fromStdString(platform::programFolder()), Seams::system());
    app.setErrorReport([&session](const QString& text) { session.seams.report(QApplication::activeWindow(), text); });
    TForm2* window = nullptr;
    updateAutostart(QCoreApplication::applicationFilePath());
    TForm1 tray([&session] { session.openWebSite(); }, [&window] { showWindow(*window); });
    TForm2 mainWindow(session, registry);
    window = &mainWindow;

    QObject::connect(&instance, &SingleInstance::messageReceived, &mainWindow,
        [&](const QByteArray& message) { handleInstanceMessage(message, tray.iconVisible(), mainWindow); });
    // Ending the loop with exit() rather than quit(): the latter would first
    // close the window, which only hides it and opens the web site.
    QObject::connect(
        &mainWindow, &TForm2::quitRequested, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &mainWindow, &TForm2::FormDestroy);
    // Log-off or shutdown: the companions are stopped before the session goes.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainWindow, &TForm2::stopProgramsAtEnd);
    const int requests = platform::terminationRequests();
    if (requests >= 0) {
        auto* notifier = new QSocketNotifier(requests, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            platform::clearTerminationRequests();
            QCoreApplication::exit(0);
        });
    }

    if (options.beforeShow)
        options.beforeShow(mainWindow);
    mainWindow.show();
    if (!mainWindow.startupProblems().isEmpty()) {
        QTimer::singleShot(0, &mainWindow,
            [&] { session.seams.report(&mainWindow, mainWindow.startupProblems().join(QLatin1Char('\n'))); });
    }
    return app.exec();
}

} // namespace corvatek::shell
