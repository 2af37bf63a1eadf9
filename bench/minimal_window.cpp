// The reference: a minimal Qt Widgets program with one empty window. It ends
// once the window has been shown and painted, as the control centre's timed
// start does, or stays when given "stay".
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

class EndAfterFirstPaint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(786, 481);
    if (app.arguments().value(1) != QLatin1String("stay"))
        window.installEventFilter(new EndAfterFirstPaint(&window));
    window.show();
    return app.exec();
}
