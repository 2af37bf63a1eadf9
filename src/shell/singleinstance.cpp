#include "shell/singleinstance.h"

#include <QFile>
#include <QSocketNotifier>

namespace corvatek::shell {

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) { }

QString SingleInstance::socketPath() const
{
    return QFile::decodeName(platform::instanceSocketPath(QFile::encodeName(name_).toStdString()).c_str());
}

bool SingleInstance::claim()
{
    lock_ = platform::acquireInstanceLock(name_.toStdString());
    if (!lock_)
        return false;
    const int fd = platform::listenLocal(QFile::encodeName(socketPath()).toStdString());
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
    return platform::sendLocalMessage(QFile::encodeName(socketPath()).toStdString(), message.toStdString());
}

} // namespace corvatek::shell
