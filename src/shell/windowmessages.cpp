#include "shell/windowmessages.h"

#include "shell/singleinstance.h"

#include <QWidget>

namespace corvatek::shell {

WindowMessages::WindowMessages(const QWidget& window, Handlers handlers)
    : window_(window), handlers_(std::move(handlers))
{
}

bool WindowMessages::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    // A window that was never made native has no handle yet, so nothing can
    // be addressed to it.
    const WId window = window_.internalWinId();
    if (eventType != "windows_generic_MSG" || !window)
        return false;
    const platform::WindowMessage read = platform::readWindowMessage(message, window);
    switch (read.kind) {
    case platform::WindowMessage::SecondStart: handlers_.instanceMessage(kSecondStartMessage); break;
    case platform::WindowMessage::RegistryChange:
        handlers_.instanceMessage(QByteArray::number(kRegistryChangeMessage) + ' ' + QByteArray::number(read.first) + ' ' +
            QByteArray::number(read.second));
        break;
    case platform::WindowMessage::VolumeAttached:
        if (handlers_.volumeAttached)
            handlers_.volumeAttached(platform::volumeOf(read.volume).value_or(platform::Volume {read.volume}));
        break;
    case platform::WindowMessage::Other: break;
    }
    // Qt goes on with the message as ever.
    return false;
}

} // namespace corvatek::shell
