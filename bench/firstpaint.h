// Both timed starts end at the same point: once their window has been
// painted for the first time, so that a start includes what the user waits
// to see.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace corvatek::bench {

inline void endAfterFirstPaint(QWidget& window)
{
    class EndAfterFirstPaint : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                watched->removeEventFilter(this);
                // Queued: the rest of the window is painted and shown first.
                QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
            }
            return false;
        }
    };
    window.installEventFilter(new EndAfterFirstPaint(&window));
}

} // namespace corvatek::bench
