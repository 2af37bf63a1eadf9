// The program's own pictures, compiled into it.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace corvatek::shell {

// A picture by its name under the icons folder ("nav/00.png", ...). Read as
// PNG without asking every image format plugin whether it knows better,
// which would load them all.
QPixmap iconPixmap(const QString& name);
QIcon icon(const QString& name);
// The 16 x 16 icons of the navigation list, in item order.
QList<QPixmap> navigationIcons();

} // namespace corvatek::shell
