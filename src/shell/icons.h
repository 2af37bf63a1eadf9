// The program's own pictures, compiled into it.
#pragma once

#include <QByteArrayView>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace corvatek::shell {

// A picture by its name under the icons folder, without extension ("nav",
// "internet-on", ...). The build stores them as raw pixels: showing one needs no
// PNG decoder, and no image format plugin is loaded to ask about it.
QPixmap iconPixmap(const QString& name);
QIcon icon(const QString& name);
// The 16 x 16 icons of the navigation list, in item order.
QList<QPixmap> navigationIcons();

// Stored pixels to an image: a null image unless the bytes hold exactly the
// size their header gives.
QImage imageFromPixels(QByteArrayView pixels);

} // namespace corvatek::shell
