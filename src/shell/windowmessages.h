// The window messages the one instance answers: where the system tells the
// program things by window message (Windows), a later start, a companion's
// registry change and an attached volume arrive here; elsewhere none come.
#pragma once

#include "platform/session.h"
#include "platform/volumes.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <functional>

class QWidget;

namespace corvatek::shell {

class WindowMessages : public QAbstractNativeEventFilter {
public:
    struct Handlers {
        // In the socket's words: "second-start" or "2997 <first> <second>".
        std::function<void(const QByteArray&)> instanceMessage;
        std::function<void(const platform::Volume&)> volumeAttached;
    };
    // Only messages to `window` count; it must outlive the filter.
    WindowMessages(const QWidget& window, Handlers handlers);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    const QWidget& window_;
    Handlers handlers_;
};

} // namespace corvatek::shell
