#include "shell/application.h"

#include "data/filenames.h"
#include "localisation/texts.h"
#include "platform/datafolder.h"
#include "platform/session.h"
#include "platform/system.h"
#include "platform/volumes.h"
#include "shell/icons.h"
#include "shell/mainwindow.h"
#include "shell/singleinstance.h"
#include "shell/trayhost.h"
#include "shell/volumewatch.h"
#include "shell/windowmessages.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

namespace corvatek::shell {
namespace {

void showWindow(MainWindow& window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

// An installed copy starts at log-on through its command on the path, the
// name that stays when an upgrade replaces the executable.
QString autostartProgram()
{
    const QString executable = QCoreApplication::applicationFilePath();
    const QString command = QStringLiteral(CORVATEK_INSTALLED_COMMAND);
    return QFileInfo(command).canonicalFilePath() == QFileInfo(executable).canonicalFilePath() ? command : executable;
}

} // namespace

bool ControlCentreApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        // Whatever the state, the user's own language.
        reportError(localisation::text(
            localisation::languageOf(localisation::userLanguageCode()).value_or(localisation::Language::French),
            localisation::Text::UnexpectedError));
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

bool ControlCentreApplication::event(QEvent* event)
{
    // Qt closes every window on this event, before the loop ends.
    if (event->type() == QEvent::Quit && onQuit_)
        onQuit_();
    return QApplication::event(event);
}

void connectEnding(ControlCentreApplication& app, MainWindow& window, int terminationRequests)
{
    app.setOnQuit([window = QPointer<MainWindow>(&window)] {
        if (window)
            window->endOfSession();
    });
    // Ending the loop with exit() rather than quit(): the latter would first
    // close the window, which only hides it.
    QObject::connect(
        &window, &MainWindow::quitRequested, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &MainWindow::shutDown);
    // Nothing is stopped on the session manager's save request: it may be a
    // mere checkpoint. A real end of session ends the loop through the quit
    // event, and the companions are stopped then.
    if (terminationRequests >= 0) {
        auto* notifier = new QSocketNotifier(terminationRequests, QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            platform::clearTerminationRequests();
            QCoreApplication::exit(0);
        });
    }
}

void handleInstanceMessage(const QByteArray& message, bool trayIconVisible, MainWindow& window)
{
    // A shown window comes forward; a hidden one stays in the tray, unless
    // there is no visible tray icon to bring it back from.
    if (message == kSecondStartMessage && (window.isVisible() || !trayIconVisible))
        showWindow(window);
    else if (const auto first = registryChangeParameter(message))
        window.registryChangeMessage(*first);
}

int run(int argc, char** argv, const PageRegistry& registry, RunOptions options)
{
    // The lock first: a second start needs no display and ends silently,
    // the first decides whether to show.
    SingleInstance instance(QStringView(files::ControlCentre).toString());
    if (instance.claim() == SingleInstance::Claim::Second) {
        instance.announceSecondStart();
        return 0;
    }
    ControlCentreApplication app(argc, argv);
    instance.receiveMessages();
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationName(QStringLiteral("Corvatek"));
    app.setWindowIcon(icon(QStringLiteral("corvatek")));

    const platform::DataFolder data = platform::dataFolder();
    // The companions started from here find the same folder without looking.
    qputenv(platform::kDataFolderVariable, QByteArray::fromStdString(data.path));
    Session session(QString::fromStdString(data.path), Seams::system(), data::kFileFreeTimeout,
        QString::fromStdString(platform::programFolder()));
    app.setErrorReport([&session](const QString& text) { session.seams.report(QApplication::activeWindow(), text); });
    MainWindow* window = nullptr;
    updateAutostart(autostartProgram());
    TrayHost tray([&session] { session.openWebSite(); }, [&window] { showWindow(*window); });
    // Taken before start-up, so that a request to end that arrives during it
    // waits for the loop and ends in order.
    const int requests = platform::terminationRequests();
    MainWindow mainWindow(session, registry);
    window = &mainWindow;

    const auto instanceMessage = [&](const QByteArray& message) {
        handleInstanceMessage(message, tray.iconVisible(), mainWindow);
    };
    QObject::connect(&instance, &SingleInstance::messageReceived, &mainWindow, instanceMessage);
    WindowMessages windowMessages(mainWindow, {instanceMessage, [&](const platform::Volume& volume) {
                                                   if (mainWindow.volumeWatch())
                                                       mainWindow.volumeWatch()->volumeAttached(volume);
                                               }});
    app.installNativeEventFilter(&windowMessages);
    connectEnding(app, mainWindow, requests);

    if (options.beforeShow)
        options.beforeShow(mainWindow);
    mainWindow.show();
    QStringList problems;
    if (!data.problem.empty())
        problems.append(mainWindow.state().text(
            localisation::Text::DataFolderNotMade, {QString::fromStdString(data.problem)}));
    problems.append(mainWindow.startupProblems());
    if (!instance.problem().isEmpty())
        problems.append(mainWindow.state().text(localisation::Text::SingleInstanceOff, {instance.problem()}));
    if (!problems.isEmpty()) {
        QTimer::singleShot(0, &mainWindow,
            [&session, &mainWindow, problems] { session.seams.report(&mainWindow, problems.join(QLatin1Char('\n'))); });
    }
    return app.exec();
}

} // namespace corvatek::shell
