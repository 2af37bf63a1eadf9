// The program body: the single-instance guard, the tray host and the main
// window, the message loop, and an orderly end however it is asked for.
#pragma once

#include "shell/navigation.h"

#include <QApplication>

#include <functional>

namespace corvatek::shell {

// The user interface's general error box: an error that escapes a handler is
// shown once and the program goes on.
class ControlCentreApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    // Where such errors are shown; a message box unless set.
    void setErrorReport(std::function<void(const QString&)> report) { report_ = std::move(report); }
    // Told when the application is asked to quit: at the session's end, Qt
    // closes every window on that request before the loop ends.
    void setOnQuit(std::function<void()> onQuit) { onQuit_ = std::move(onQuit); }

protected:
    bool event(QEvent* event) override;

private:
    void reportError(const QString& text);

    std::function<void(const QString&)> report_;
    std::function<void()> onQuit_;
};

class MainWindow;

// How the program ends, however it is asked to: the quit item, the end of
// the user's session (the application's quit event) or a termination
// request (a descriptor from platform::terminationRequests(), or -1). Each
// ends the loop; the companions are then stopped in order, and nothing is
// opened.
void connectEnding(ControlCentreApplication& app, MainWindow& window, int terminationRequests);

// What the one instance does with a message from a later start (or a
// companion). A second start shows the window only when there is no tray
// icon to bring it back with.
void handleInstanceMessage(const QByteArray& message, bool trayIconVisible, MainWindow& window);

struct RunOptions {
    // Called with the main window just before it is first shown (the
    // benchmark ends a timed start after the window's first paint).
    std::function<void(QWidget& window)> beforeShow;
};

// Runs the control centre with the pages of `registry`; returns the exit code.
int run(int argc, char** argv, const PageRegistry& registry, RunOptions options = {});

} // namespace corvatek::shell
