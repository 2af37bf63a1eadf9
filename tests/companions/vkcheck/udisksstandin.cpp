// Stands in for udisks2 on a bus of the test's own: three drives, one
// healthy, one failing with bad sectors, one that reports nothing (a
// virtual disk). SMART refreshes are answered. Prints "ready" once its name
// is on the bus.
#include "udisks.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <cstdio>

namespace udisks = corvatek::udisks;

namespace {

QVariantMap ata(bool failing, double kelvin)
{
    return {{QStringLiteral("SmartSupported"), true}, {QStringLiteral("SmartEnabled"), true},
        {QStringLiteral("SmartFailing"), failing}, {QStringLiteral("SmartTemperature"), kelvin},
        {QStringLiteral("SmartNumAttributesFailing"), failing ? 1 : 0},
        {QStringLiteral("SmartNumBadSectors"), qint64(failing ? 24 : 0)}};
}

QVariantMap drive(const char* vendor, const char* model, const char* serial)
{
    return {{QStringLiteral("Vendor"), QString::fromLatin1(vendor)},
        {QStringLiteral("Model"), QString::fromLatin1(model)}, {QStringLiteral("Serial"), QString::fromLatin1(serial)}};
}

udisks::SmartAttributes attributes(qint64 bad)
{
    udisks::SmartAttributes list;
    for (const auto& [id, name, pretty] : {std::tuple {uchar(5), "reallocated-sector-count", bad},
             std::tuple {uchar(197), "current-pending-sector", bad / 2},
             std::tuple {uchar(198), "offline-uncorrectable", bad / 4}}) {
        udisks::SmartAttribute attribute;
        attribute.id = id;
        attribute.name = QString::fromLatin1(name);
        attribute.value = 100;
        attribute.pretty = pretty;
        attribute.prettyUnit = 3;
        list << attribute;
    }
    return list;
}

class Drives : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString path = message.path();
        const QString member = message.member();
        QDBusMessage reply;
        if (member == QLatin1String("GetManagedObjects")) {
            udisks::Objects objects;
            objects[QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/drives/Sound"))] = {
                {QLatin1String(udisks::kDrive), drive("ACME", "Disk 1000", "S1")},
                {QLatin1String(udisks::kAta), ata(false, 308.15)}};
            objects[QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/drives/Failing"))] = {
                {QLatin1String(udisks::kDrive), drive("ACME", "Disk 2000", "F2")},
                {QLatin1String(udisks::kAta), ata(true, 330.15)}};
            objects[QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/drives/Virtual"))] = {
                {QLatin1String(udisks::kDrive), drive("QEMU", "QEMU HARDDISK", "")}};
            objects[QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/block_devices/vda"))] = {
                {QStringLiteral("org.freedesktop.UDisks2.Block"), {}}};
            reply = message.createReply(QVariant::fromValue(objects));
        } else if (member == QLatin1String("SmartUpdate")) {
            reply = message.createReply();
        } else if (member == QLatin1String("SmartGetAttributes")) {
            reply =
                message.createReply(QVariant::fromValue(attributes(path.endsWith(QLatin1String("Failing")) ? 24 : 0)));
        } else if (member == QLatin1String("GetAll")) {
            reply = message.createReply(QVariant::fromValue(ata(path.endsWith(QLatin1String("Failing")), 310.15)));
        } else {
            reply = message.createErrorReply(QDBusError::UnknownMethod, member);
        }
        return connection.send(reply);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    udisks::registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Drives drives;
    if (!bus.registerVirtualObject(QLatin1String(udisks::kRoot), &drives, QDBusConnection::SubPath) ||
        !bus.registerService(QLatin1String(udisks::kService)))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}
