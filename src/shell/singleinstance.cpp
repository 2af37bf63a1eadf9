#include "shell/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

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
    // Holding the lock, any socket left by an instance that crashed is stale.
    QLocalServer::removeServer(socketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(socketPath());
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::readMessages);
    return true;
}

void SingleInstance::readMessages()
{
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        const auto drain = [this, client] {
            while (client->canReadLine())
                emit messageReceived(client->readLine().trimmed());
        };
        connect(client, &QLocalSocket::readyRead, this, drain);
        connect(client, &QLocalSocket::disconnected, this, [client, drain] {
            drain();
            client->deleteLater();
        });
        drain(); // what arrived with the connection
    }
}

bool SingleInstance::send(const QByteArray& message) const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(message + '\n');
    const bool written = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return written;
}

} // namespace corvatek::shell
