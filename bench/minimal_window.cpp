// The reference: a minimal Qt Widgets program with one empty window. It ends
// once the window has been shown and painted, as the control centre's timed
// start does, or stays when given "stay".
#include "firstpaint.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(786, 481);
    if (app.arguments().value(1) != QLatin1String("stay"))
        corvatek::bench::endAfterFirstPaint(window);
    window.show();
    return app.exec();
}
