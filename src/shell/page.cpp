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

void Page::reportOnceShown(const QString& text)
{
    QTimer::singleShot(0, this, [this, text] { session().seams.report(&window(), text); });
}

} // namespace corvatek::shell
