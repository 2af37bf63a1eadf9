#include "shell/volumewatch.h"

#include "shell/session.h"

#include <QSocketNotifier>
#include <QTimer>

namespace corvatek::shell {
namespace {

// How soon a busy window is asked again.
constexpr std::chrono::milliseconds kBusyRetry {200};

} // namespace

VolumeWatch::VolumeWatch(Session& session, Handler handler, QObject* parent)
    : QObject(parent), session_(session), handler_(std::move(handler))
{
    // The mount table signals a change as an exceptional condition; between
    // changes the watch costs nothing.
    if (arrivals_.descriptor() >= 0) {
        notifier_ = new QSocketNotifier(arrivals_.descriptor(), QSocketNotifier::Exception, this);
        connect(notifier_, &QSocketNotifier::activated, this, &VolumeWatch::mountTableChanged);
    }
}

void VolumeWatch::mountTableChanged()
{
    for (platform::Volume& volume : arrivals_.takeArrivals())
        pending_.push_back(std::move(volume));
    offerPending();
}

void VolumeWatch::volumeAttached(const platform::Volume& volume)
{
    pending_.push_back(volume);
    offerPending();
}

void VolumeWatch::offerPending()
{
    if (offering_ || pending_.empty())
        return; // an open question's loop takes the rest
    if (session_.windowBusy > 0) {
        QTimer::singleShot(kBusyRetry, this, &VolumeWatch::offerPending);
        return;
    }
    offering_ = true;
    while (!pending_.empty()) {
        const platform::Volume volume = std::move(pending_.front());
        pending_.pop_front();
        handler_(volume);
    }
    offering_ = false;
}

} // namespace corvatek::shell
