// The reference: a minimal Qt Widgets program with one empty window. It ends
// once the window is shown, or stays when given "stay".
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(786, 481);
    window.show();
    if (app.arguments().value(1) != QLatin1String("stay"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
