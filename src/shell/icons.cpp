#include "shell/icons.h"

#include <QHash>
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
    // Each picture is decoded once: several are asked for more than once.
    static QHash<QString, QIcon> decoded;
    auto found = decoded.find(name);
    if (found == decoded.end())
        found = decoded.insert(name, QIcon(iconPixmap(name)));
    return *found;
}

QList<QPixmap> navigationIcons()
{
    // One picture holds them all, one above the other: one decode at start.
    const QPixmap sheet = iconPixmap(QStringLiteral("nav.png"));
    QList<QPixmap> icons;
    for (int top = 0; top + 16 <= sheet.height(); top += 16)
        icons.append(sheet.copy(0, top, 16, 16));
    return icons;
}

} // namespace corvatek::shell
