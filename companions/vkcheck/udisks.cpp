#include "udisks.h"

#include <QDBusMetaType>

namespace corvatek::udisks {

void registerTypes()
{
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<Objects>();
    qDBusRegisterMetaType<SmartAttribute>();
    qDBusRegisterMetaType<SmartAttributes>();
}

} // namespace corvatek::udisks
