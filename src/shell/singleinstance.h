// One control centre per user log-on. The first instance holds a lock that
// the system drops with the process however it ends, and listens on a local
// socket through which later starts (and companions) send it messages.
#pragma once

#include "data/values.h"
#include "platform/localsocket.h"
#include "platform/session.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include <string>

class QSocketNotifier;

namespace corvatek::shell {

// What a second start tells the first instance.
inline constexpr char kSecondStartMessage[] = "second-start";
// A companion's registry-change message comes as "2997 <first> <second>":
// the window message's number and its two parameters in decimal. The first
// parameter of a registry-change message; nothing for any other
// message.
std::optional<quint64> registryChangeParameter(const QByteArray& message);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Alone, // this process is the one instance
        Second, // another process of this user is
        GuardOff, // no safe place for the lock: problem() says why
    };

    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and, when alone, opens the socket. Needs no Qt
    // application, so that a second start ends without a display.
    Claim claim();
    // Starts delivering messageReceived; needs the Qt application. Senders
    // that came earlier wait in the socket's queue.
    void receiveMessages();
    // Why the guard is off, as the system words it; else empty.
    QString problem() const;
    // Tells the instance that claim() found running of this start.
    bool announceSecondStart() const;

signals:
    // Only messages of known form: one line, then the sender closed.
    void messageReceived(const QByteArray& message);

private:
    class Connection;

    void acceptConnections();

    const std::string name_; // as the system takes it
    platform::InstanceClaim claim_;
    int listenerFd_ = -1;
    QSocketNotifier* listener_ = nullptr;
    QList<Connection*> connections_; // open ones
};

} // namespace corvatek::shell
