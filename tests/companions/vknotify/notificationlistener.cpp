// notification_listener <record> answer|silent|absent <program> [arguments...]
//
// On the session bus, owns org.freedesktop.Notifications (answering every
// call, or never answering: "silent"), or leaves it unowned ("absent"); runs
// the program and, once it ended, writes to <record> each Notify call as
// "key=value" lines, then "exit=<status>" and "elapsed=<ms>".
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

namespace {

QByteArray text(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return value.toStringList().join(QLatin1Char(',')).toUtf8();
    return value.toString().toUtf8();
}

class NotificationService : public QDBusVirtualObject {
public:
    explicit NotificationService(bool answer) : answer_(answer) { }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("Notify")) {
            const QVariantList a = message.arguments();
            record += "signature=" + message.signature().toUtf8() + '\n';
            const char* const keys[] = {
                "app_name", "replaces_id", "app_icon", "summary", "body", "actions", "hints", "expire_timeout"};
            for (int i = 0; i < 8 && i < a.size(); ++i) {
                if (i != 6) // the hints are a map: the signature shows them
                    record += QByteArray(keys[i]) + '=' + text(a[i]) + '\n';
            }
            if (answer_)
                connection.send(message.createReply(QVariant(1u)));
            return true;
        }
        if (message.member() == QLatin1String("GetCapabilities")) {
            if (answer_)
                connection.send(
                    message.createReply(QVariant(QStringList {QStringLiteral("body"), QStringLiteral("body-markup")})));
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override { return {}; }

    QByteArray record;

private:
    bool answer_;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4)
        return 2;
    const QString mode = arguments[2];
    QDBusConnection bus = QDBusConnection::sessionBus();
    NotificationService service(mode == QLatin1String("answer"));
    if (mode != QLatin1String("absent") &&
        (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service) ||
            !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))))
        return 3;

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    QObject::connect(&program, &QProcess::finished, &application, [&] {
        QByteArray record = service.record;
        record += "exit=" +
            (program.exitStatus() == QProcess::NormalExit ? QByteArray::number(program.exitCode()) : "crash") + '\n';
        record += "elapsed=" + QByteArray::number(clock.elapsed()) + '\n';
        QFile file(arguments[1]);
        application.exit(file.open(QIODevice::WriteOnly) && file.write(record) == record.size() ? 0 : 4);
    });
    clock.start();
    program.start(arguments[3], arguments.mid(4));
    if (!program.waitForStarted())
        return 5;
    return application.exec();
}
