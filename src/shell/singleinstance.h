// One control centre per user log-on. The first instance holds a lock that
// the system drops with the process however it ends, and listens on a local
// socket through which later starts (and companions) send it messages.
#pragma once

#include "platform/platform.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>
#include <string>

class QSocketNotifier;

namespace corvatek::shell {

// What a second start tells the first instance.
inline constexpr char kSecondStartMessage[] = "second-start";

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);

    // True when this process is now the one instance; it then listens.
    bool claim();
    // Sends one message to the instance that holds the name.
    bool send(const QByteArray& message) const;

signals:
    void messageReceived(const QByteArray& message);

private:
    void readMessages();
    std::string socketPath() const { return platform::instanceSocketPath(name_); }

    const std::string name_; // as the system takes it
    std::optional<platform::FileLock> lock_;
    QSocketNotifier* listener_ = nullptr;
};

} // namespace corvatek::shell
