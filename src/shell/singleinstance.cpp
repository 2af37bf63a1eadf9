#include "shell/singleinstance.h"

#include <QFile>
#include <QSocketNotifier>

namespace corvatek::shell {

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(QFile::encodeName(name).toStdString())
{
}

bool SingleInstance::claim()
{
    lock_ = platform::acquireInstanceLock(name_);
    if (!lock_)
        return false;
    const int fd = platform::listenLocal(socketPath());
    if (fd >= 0) {
        listener_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(listener_, &QSocketNotifier::activated, this, &SingleInstance::readMessages);
    }
    return true;
}

void SingleInstance::readMessages()
{
    for (const auto& message : platform::acceptLocalMessages(int(listener_->socket())))
        emit messageReceived(QByteArray::fromStdString(message).trimmed());
}

bool SingleInstance::send(const QByteArray& message) const
{
    return platform::sendLocalMessage(socketPath(), message.toStdString());
}

} // namespace corvatek::shell
