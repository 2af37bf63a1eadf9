// The reference: a minimal Qt Widgets program with one empty window. It ends
// once the window has been shown and painted, as the control centre's timed
// start does, or stays when given "stay". Given "text", the window shows one
// line of text: the least any window that says something costs, since text
// brings the font database, a font and its glyphs.
#include "firstpaint.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(786, 481);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.contains(QLatin1String("text")))
        (new QLabel(QStringLiteral("Protection en temps r\u00e9el"), &window))->move(20, 20);
    if (!arguments.contains(QLatin1String("stay")))
        corvatek::bench::endAfterFirstPaint(window);
    window.show();
    return app.exec();
}
