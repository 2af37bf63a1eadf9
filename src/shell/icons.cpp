#include "shell/icons.h"

#include <QHash>
#include <QResource>

#include <cstring>

namespace corvatek::shell {

QImage imageFromPixels(QByteArrayView pixels)
{
    if (pixels.size() < 4)
        return {};
    const auto* bytes = reinterpret_cast<const uchar*>(pixels.data());
    const int width = bytes[0] | bytes[1] << 8;
    const int height = bytes[2] | bytes[3] << 8;
    if (pixels.size() != 4 + qsizetype(width) * height * 4)
        return {};
    // Copied row by row: the stored bytes need not be aligned for pixels.
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    for (int row = 0; row < image.height(); ++row)
        std::memcpy(image.scanLine(row), bytes + 4 + qsizetype(row) * width * 4, size_t(width) * 4);
    return image;
}

QPixmap iconPixmap(const QString& name)
{
    const QResource resource(QStringLiteral(":/icons/") + name + QStringLiteral(".pixels"));
    return QPixmap::fromImage(imageFromPixels(resource.uncompressedData()));
}

QIcon icon(const QString& name)
{
    // Each picture is converted once: several are asked for more than once.
    static QHash<QString, QIcon> converted;
    auto found = converted.find(name);
    if (found == converted.end())
        found = converted.insert(name, QIcon(iconPixmap(name)));
    return *found;
}

QList<QPixmap> navigationIcons()
{
    // One picture holds them all, one above the other.
    const QPixmap sheet = iconPixmap(QStringLiteral("nav"));
    QList<QPixmap> icons;
    for (int top = 0; top + 16 <= sheet.height(); top += 16)
        icons.append(sheet.copy(0, top, 16, 16));
    return icons;
}

} // namespace corvatek::shell
