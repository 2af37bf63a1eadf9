#include "shell/page.h"

#include "shell/mainwindow.h"

#include <QTimer>

namespace corvatek::shell {

Page::~Page()
{
    // One by one, in creation order; a control already gone is skipped.
    for (const auto& control : controls_)
        delete control.data();
}

Dialogue Page::dialogue() const
{
    return {session(), &window()};
}

void Page::reportOnceShown(const QString& text)
{
    // A report posted during the build could run inside a later file wait of
    // the same build, over a window still showing the previous page.
    if (building_) {
        pendingReports_.append(text);
        return;
    }
    QTimer::singleShot(0, this, [this, text] { report(text); });
}

void Page::buildFinished()
{
    building_ = false;
    for (const QString& text : std::exchange(pendingReports_, {}))
        reportOnceShown(text);
}

} // namespace corvatek::shell
