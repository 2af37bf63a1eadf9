#include "shell/icons.h"

#include <QImageReader>

// Resources of a static library are not registered by themselves.
static void initShellResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace corvatek::shell {

QPixmap iconPixmap(const QString& name)
{
    static const bool registered = (initShellResources(), true);
    Q_UNUSED(registered);
    QImageReader reader(QStringLiteral(":/icons/") + name, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QIcon icon(const QString& name)
{
    return QIcon(iconPixmap(name));
}

} // namespace corvatek::shell
