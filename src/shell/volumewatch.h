// Watches for volumes being attached and hands each to the window's handler,
// one question at a time, never inside a page build or a file wait.
#pragma once

#include "platform/volumes.h"

#include <QObject>

#include <deque>
#include <functional>

class QSocketNotifier;

namespace corvatek::shell {

struct Session;

class VolumeWatch : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const platform::Volume&)>;
    VolumeWatch(Session& session, Handler handler, QObject* parent = nullptr);

    // Takes what arrived since the last look; the notifier calls it, tests
    // may too.
    void mountTableChanged();
    // A volume the system reported by message (Windows).
    void volumeAttached(const platform::Volume& volume);

private:
    void offerPending();

    Session& session_;
    Handler handler_;
    platform::VolumeArrivals arrivals_;
    QSocketNotifier* notifier_ = nullptr;
    std::deque<platform::Volume> pending_;
    bool offering_ = false;
};

} // namespace corvatek::shell
