#include "health.h"

#include "udisks.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fstream>
#include <set>
#include <sstream>

namespace corvatek::vkcheck {
namespace {

// udisks2 asks a drive in well under a second; a hung one must not hold the run.
constexpr int kCallWait = 8000;

// The SMART attributes that foretell a failure.
constexpr uchar kReallocated = 5;
constexpr uchar kPending = 197;
constexpr uchar kUncorrectable = 198;
constexpr int kUnitSectors = 3;

QDBusMessage call(QDBusConnection& bus, const QString& path, const char* interface, const char* method,
    const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(udisks::kService), path, QLatin1String(interface), QLatin1String(method));
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallWait);
}

// Options that ask no sleeping disk to spin up.
QVariantMap noWakeUp()
{
    return {{QStringLiteral("nowakeup"), true}};
}

std::string driveName(const QVariantMap& drive)
{
    QStringList parts;
    for (const char* key : {"Vendor", "Model"})
        if (const QString part = drive.value(QLatin1String(key)).toString().trimmed(); !part.isEmpty())
            parts << part;
    if (parts.isEmpty())
        parts << drive.value(QStringLiteral("Id")).toString();
    if (const QString serial = drive.value(QStringLiteral("Serial")).toString().trimmed(); !serial.isEmpty())
        parts << QLatin1Char('(') + serial + QLatin1Char(')');
    return parts.join(QLatin1Char(' ')).toStdString();
}

DriveHealth ataHealth(QDBusConnection& bus, const QString& path, QVariantMap ata, DriveHealth drive)
{
    drive.refreshed = call(bus, path, udisks::kAta, "SmartUpdate", {noWakeUp()}).type() == QDBusMessage::ReplyMessage;
    if (drive.refreshed) {
        const QDBusMessage all =
            call(bus, path, "org.freedesktop.DBus.Properties", "GetAll", {QString::fromLatin1(udisks::kAta)});
        if (all.type() == QDBusMessage::ReplyMessage && !all.arguments().isEmpty())
            ata = qdbus_cast<QVariantMap>(all.arguments().constFirst());
    }
    if (const double kelvin = ata.value(QStringLiteral("SmartTemperature")).toDouble(); kelvin > 0)
        drive.celsius = kelvin - 273.15;
    const QDBusMessage reply = call(bus, path, udisks::kAta, "SmartGetAttributes", {noWakeUp()});
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto attributes = qdbus_cast<udisks::SmartAttributes>(reply.arguments().constFirst());
        for (const udisks::SmartAttribute& attribute : attributes) {
            if (attribute.prettyUnit != kUnitSectors)
                continue;
            if (attribute.id == kReallocated)
                drive.reallocated = attribute.pretty;
            else if (attribute.id == kPending)
                drive.pending = attribute.pretty;
            else if (attribute.id == kUncorrectable)
                drive.uncorrectable = attribute.pretty;
        }
    }
    const bool failing = ata.value(QStringLiteral("SmartFailing")).toBool() ||
        ata.value(QStringLiteral("SmartNumAttributesFailing")).toInt() > 0;
    const bool badSectors = drive.reallocated.value_or(0) > 0 || drive.pending.value_or(0) > 0 ||
        drive.uncorrectable.value_or(0) > 0 || ata.value(QStringLiteral("SmartNumBadSectors")).toLongLong() > 0;
    drive.verdict = failing ? DriveHealth::Verdict::Failing
        : badSectors        ? DriveHealth::Verdict::AtRisk
                            : DriveHealth::Verdict::Healthy;
    return drive;
}

DriveHealth nvmeHealth(const QVariantMap& nvme, DriveHealth drive)
{
    // udisks2 keeps an NVMe drive's log fresh on its own.
    drive.refreshed = true;
    if (const double kelvin = nvme.value(QStringLiteral("SmartTemperature")).toDouble(); kelvin > 0)
        drive.celsius = kelvin - 273.15;
    drive.verdict = nvme.value(QStringLiteral("SmartCriticalWarning")).toStringList().isEmpty()
        ? DriveHealth::Verdict::Healthy
        : DriveHealth::Verdict::Failing;
    return drive;
}

long long numberIn(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

} // namespace

Health checkHealth()
{
    Health health;
    health.fileSystems = fileSystemErrors();
    udisks::registerTypes();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        health.problem = "system bus: " + bus.lastError().message().toStdString();
        return health;
    }
    const QDBusMessage reply =
        call(bus, QString::fromLatin1(udisks::kRoot), udisks::kObjectManager, "GetManagedObjects");
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        health.problem = "udisks2: " + reply.errorMessage().toStdString();
        return health;
    }
    const auto objects = qdbus_cast<udisks::Objects>(reply.arguments().constFirst());
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const udisks::Interfaces& interfaces = object.value();
        if (!interfaces.contains(QLatin1String(udisks::kDrive)))
            continue;
        DriveHealth drive;
        drive.name = driveName(interfaces.value(QLatin1String(udisks::kDrive)));
        const QVariantMap ata = interfaces.value(QLatin1String(udisks::kAta));
        if (ata.value(QStringLiteral("SmartSupported")).toBool() && ata.value(QStringLiteral("SmartEnabled")).toBool())
            drive = ataHealth(bus, object.key().path(), ata, drive);
        else if (interfaces.contains(QLatin1String(udisks::kNvme)))
            drive = nvmeHealth(interfaces.value(QLatin1String(udisks::kNvme)), drive);
        health.drives.push_back(std::move(drive));
    }
    return health;
}

std::vector<FileSystemErrors> fileSystemErrors()
{
    std::vector<FileSystemErrors> found;
    std::ifstream mounts("/proc/self/mountinfo");
    std::set<std::string> seen;
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point, word;
        fields >> id >> parent >> numbers >> root >> point;
        while (fields >> word && word != "-") { }
        std::string type, source;
        fields >> type >> source;
        if (type != "ext4" || !seen.insert(numbers).second)
            continue;
        // /sys/fs/ext4 names a file system by its device's kernel name (dm-0
        // for /dev/mapper/home).
        const QString device = QFileInfo(QFileInfo(QString::fromStdString(source)).canonicalFilePath()).fileName();
        const QString counter = QStringLiteral("/sys/fs/ext4/%1/errors_count").arg(device);
        if (QFile::exists(counter))
            found.push_back({device.toStdString(), point, type, numberIn(counter)});
    }
    // btrfs counts per device of a file system: read, write, flush, corruption, generation.
    const QDir btrfs(QStringLiteral("/sys/fs/btrfs"));
    for (const QString& uuid : btrfs.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir devices(btrfs.filePath(uuid + QStringLiteral("/devinfo")));
        for (const QString& device : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stats(devices.filePath(device + QStringLiteral("/error_stats")));
            if (!stats.open(QIODevice::ReadOnly))
                continue;
            long long errors = 0;
            for (const QByteArray& statLine : stats.readAll().split('\n'))
                errors += statLine.split(' ').value(1).toLongLong();
            QFile labelFile(btrfs.filePath(uuid + QStringLiteral("/label")));
            const QString label =
                labelFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(labelFile.readAll().trimmed()) : QString();
            found.push_back(
                {(label.isEmpty() ? uuid : label).toStdString() + " #" + device.toStdString(), {}, "btrfs", errors});
        }
    }
    return found;
}

} // namespace corvatek::vkcheck
