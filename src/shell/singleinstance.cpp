#include "shell/singleinstance.h"

#include <QFile>
#include <QSocketNotifier>

#include <unistd.h>

namespace corvatek::shell {

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) { }

QString SingleInstance::socketPath() const
{
    return QString::fromStdString(platform::runtimeFolder()) + QLatin1Char('/') + name_ + QLatin1Char('-') +
        QString::number(::getuid()) + QStringLiteral(".socket");
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
