// The parts of udisks2's D-Bus interface the disk check reads: the object
// manager's list of objects with their properties, and the SMART attributes
// of an ATA drive.
#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace corvatek::udisks {

inline constexpr const char* kService = "org.freedesktop.UDisks2";
inline constexpr const char* kRoot = "/org/freedesktop/UDisks2";
inline constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
inline constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";
inline constexpr const char* kAta = "org.freedesktop.UDisks2.Drive.Ata";
inline constexpr const char* kNvme = "org.freedesktop.UDisks2.NVMe.Controller";

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QDBusObjectPath, Interfaces>;

// One row of SmartGetAttributes: (ysqiiixia{sv}).
struct SmartAttribute {
    uchar id = 0;
    QString name;
    quint16 flags = 0;
    qint32 value = 0, worst = 0, threshold = 0;
    qint64 pretty = 0;
    qint32 prettyUnit = 0; // 3 sectors, 4 millikelvin
    QVariantMap expansion;
};
using SmartAttributes = QList<SmartAttribute>;

inline QDBusArgument& operator<<(QDBusArgument& argument, const SmartAttribute& a)
{
    argument.beginStructure();
    argument << a.id << a.name << a.flags << a.value << a.worst << a.threshold << a.pretty << a.prettyUnit
             << a.expansion;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, SmartAttribute& a)
{
    argument.beginStructure();
    argument >> a.id >> a.name >> a.flags >> a.value >> a.worst >> a.threshold >> a.pretty >> a.prettyUnit >>
        a.expansion;
    argument.endStructure();
    return argument;
}

void registerTypes();

} // namespace corvatek::udisks

Q_DECLARE_METATYPE(corvatek::udisks::Interfaces)
Q_DECLARE_METATYPE(corvatek::udisks::Objects)
Q_DECLARE_METATYPE(corvatek::udisks::SmartAttribute)
Q_DECLARE_METATYPE(corvatek::udisks::SmartAttributes)
