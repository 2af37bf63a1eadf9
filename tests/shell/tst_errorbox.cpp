#include "shell/application.h"

#include <QTest>
#include <QTimer>

#include <stdexcept>

using corvatek::shell::ControlCentreApplication;

namespace {

// A handler that fails the first time it runs.
class Failing : public QObject {
public:
    int runs = 0;
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (++runs == 1)
            throw std::runtime_error("the rules file vanished");
        return true;
    }
};

} // namespace

// An error that escapes a handler is shown once and the program goes on.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ControlCentreApplication app(argc, argv);
    QStringList shown;
    app.setErrorReport([&](const QString& text) { shown.append(text); });
    Failing failing;
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    const bool ok = shown == QStringList {QStringLiteral("the rules file vanished")} && failing.runs == 2;
    std::printf("%s\n", ok ? "1 passed, 0 failed" : "0 passed, 1 failed");
    return ok ? 0 : 1;
}
