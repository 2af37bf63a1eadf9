// vknotify.exe: shows the control centre's message as a desktop notification
// through the freedesktop notification service, or, where no service answers
// in time, writes it to the system log. Always ends with success.
#include "data/filenames.h"
#include "message.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace corvatek;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The whole run stays within a second, bus connection and start-up included:
// the control centre starts one per message and never waits for it.
constexpr auto kRunLimit = 700ms;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

void toSystemLog(const QByteArray& message)
{
    static const QByteArray ident = QStringView(corvatek::files::Notifier).toLatin1(); // openlog keeps the pointer
    ::openlog(ident.constData(), LOG_PID, LOG_USER);
    ::syslog(LOG_NOTICE, "%s", message.constData());
    ::closelog();
}

// Past the run limit, logs the message and ends the process, whatever the
// bus is doing: a D-Bus call can block in places no timeout reaches.
class Watchdog {
public:
    explicit Watchdog(QByteArray message)
        : thread_([this, message = std::move(message)] {
              std::unique_lock hold(mutex_);
              if (!ended_.wait_until(hold, Clock::now() + kRunLimit, [this] { return finished_; })) {
                  toSystemLog(message);
                  ::_exit(0);
              }
          })
    {
    }

    // Blocks for good when the watchdog has fired: the process is ending.
    void finish()
    {
        {
            const std::lock_guard hold(mutex_);
            finished_ = true;
        }
        ended_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::thread thread_;
};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 1;
}

QDBusMessage call(
    const QDBusConnection& bus, const QString& method, const QVariantList& arguments, Clock::time_point deadline)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, remainingMs(deadline));
}

bool notify(const QString& text, Clock::time_point deadline)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Also tells whether a service is there at all. A service that reads
    // markup would take a "<" or "&" of a file name for a tag.
    const QDBusMessage capabilities = call(bus, QStringLiteral("GetCapabilities"), {}, deadline);
    if (capabilities.type() != QDBusMessage::ReplyMessage)
        return false;
    const bool markup = capabilities.arguments().value(0).toStringList().contains(QStringLiteral("body-markup"));
    const QVariantList arguments {QStringLiteral("Corvatek"), 0u, QStringLiteral("corvatek"),
        QStringLiteral("Corvatek"), notice::body(text, markup), QStringList(), QVariantMap(), -1};
    return call(bus, QStringLiteral("Notify"), arguments, deadline).type() == QDBusMessage::ReplyMessage;
}

} // namespace

int main(int argc, char** argv)
{
    const Clock::time_point deadline = Clock::now() + kRunLimit - 100ms;
    // One argument; should a tab have split it, the parts are joined again.
    QStringList parts;
    for (int i = 1; i < argc; ++i)
        parts.append(QString::fromUtf8(argv[i]));
    QString text = notice::shownText(notice::sentenceFor(parts.join(QLatin1Char(' '))));
    if (text.trimmed().isEmpty())
        return 0;

    Watchdog watchdog(text.toUtf8());
    const QCoreApplication application(argc, argv);
    const bool shown = notify(text, deadline);
    watchdog.finish();
    if (!shown)
        toSystemLog(text.toUtf8());
    return 0;
}
