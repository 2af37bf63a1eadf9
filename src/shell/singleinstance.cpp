#include "shell/singleinstance.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <utility>

namespace corvatek::shell {
namespace {

// Whoever can connect can try to hold the window: each connection is read
// as its bytes arrive and none may stay long or send much. A sender writes
// its line and closes at once, so a second is plenty.
constexpr std::size_t kLongestMessage = 256; // with its LF
constexpr int kMostConnections = 8;
constexpr int kLifetimeMs = 1000;

bool knownMessage(const QByteArray& message)
{
    return message == kSecondStartMessage || registryChangeParameter(message);
}

} // namespace

std::optional<quint64> registryChangeParameter(const QByteArray& message)
{
    const QList<QByteArray> parts = message.split(' ');
    if (parts.size() != 3 || parts[0] != QByteArray::number(kRegistryChangeMessage))
        return std::nullopt;
    quint64 values[2] = {};
    for (int i = 0; i < 2; ++i) {
        const QByteArray& part = parts[i + 1];
        bool ok = !part.isEmpty() && part.size() <= 20;
        for (const char c : part)
            ok = ok && c >= '0' && c <= '9';
        values[i] = ok ? part.toULongLong(&ok) : 0;
        if (!ok)
            return std::nullopt;
    }
    return values[0];
}

class SingleInstance::Connection : public QObject {
public:
    Connection(int fd, SingleInstance& owner)
        : QObject(&owner), fd_(fd), owner_(owner), notifier_(fd, QSocketNotifier::Read)
    {
        owner_.connections_.append(this);
        connect(&notifier_, &QSocketNotifier::activated, this, &Connection::read);
        lifetime_.setSingleShot(true);
        connect(&lifetime_, &QTimer::timeout, this, [this] { end(); });
        lifetime_.start(kLifetimeMs);
    }

    ~Connection() override { close(); }

    void read()
    {
        const auto got = platform::readLocal(fd_, kLongestMessage + 1 - text_.size());
        text_ += got.bytes;
        const std::size_t lineEnd = text_.find('\n');
        const bool oneLine = lineEnd != std::string::npos && lineEnd + 1 == text_.size();
        if (text_.size() > kLongestMessage || (lineEnd != std::string::npos && !oneLine))
            return end();
        if (got.ended) {
            const QByteArray message = QByteArray::fromStdString(text_.substr(0, lineEnd));
            end();
            if (oneLine && knownMessage(message))
                emit owner_.messageReceived(message);
        }
    }

private:
    void close()
    {
        if (fd_ < 0)
            return;
        notifier_.setEnabled(false); // before the descriptor can be reused
        lifetime_.stop();
        platform::closeLocal(fd_);
        fd_ = -1;
        owner_.connections_.removeOne(this);
    }

    // The peer sees the end at once; the object goes once its signal returned.
    void end()
    {
        close();
        deleteLater();
    }

    int fd_;
    SingleInstance& owner_;
    QSocketNotifier notifier_;
    QTimer lifetime_;
    std::string text_;
};

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(QFile::encodeName(name).toStdString())
{
}

SingleInstance::~SingleInstance()
{
    // Before QObject deletes the children: closing reaches back into this.
    qDeleteAll(std::exchange(connections_, {}));
    if (listener_)
        listener_->setEnabled(false);
    platform::closeLocal(listenerFd_);
}

SingleInstance::Claim SingleInstance::claim()
{
    claim_ = platform::claimInstance(name_);
    switch (claim_.result) {
    case platform::InstanceClaim::Result::HeldElsewhere: return Claim::Second;
    case platform::InstanceClaim::Result::Unavailable: return Claim::GuardOff;
    case platform::InstanceClaim::Result::Claimed: break;
    }
    if (listenerFd_ < 0)
        listenerFd_ = platform::listenLocal(claim_.socketPath);
    return Claim::Alone;
}

void SingleInstance::receiveMessages()
{
    if (listenerFd_ < 0 || listener_)
        return;
    listener_ = new QSocketNotifier(listenerFd_, QSocketNotifier::Read, this);
    connect(listener_, &QSocketNotifier::activated, this, &SingleInstance::acceptConnections);
}

QString SingleInstance::problem() const
{
    if (claim_.result != platform::InstanceClaim::Result::Unavailable || claim_.problem.empty())
        return {};
    return QFile::decodeName(claim_.problem.c_str());
}

void SingleInstance::acceptConnections()
{
    for (int fd; (fd = platform::acceptLocal(listenerFd_)) >= 0;) {
        if (connections_.size() >= kMostConnections)
            platform::closeLocal(fd);
        else
            (new Connection(fd, *this))->read(); // what came with it, or its end
    }
}

bool SingleInstance::announceSecondStart() const
{
    return platform::announceSecondStart(claim_);
}

} // namespace corvatek::shell
