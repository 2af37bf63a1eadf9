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

private:
    void reportError(const QString& text);

    std::function<void(const QString&)> report_;
};

class TForm2;

// What the one instance does with a message from a later start (or a
// companion). A second start shows the window only when there is no tray
// icon to bring it back with.
void handleInstanceMessage(const QByteArray& message, bool trayIconVisible, TForm2& window);

struct RunOptions {
    // Called with the main window just before it is first shown (the
    // benchmark ends a timed start after the window's first paint).
    std::function<void(QWidget& window)> beforeShow;
};

// Runs the control centre with the pages of `registry`; returns the exit code.
int run(int argc, char** argv, const PageRegistry& registry, RunOptions options = {});

} // namespace corvatek::shell
