#include "shell/trayhost.h"

#include "platform/platform.h"
#include "shell/icons.h"

#include <QCursor>
#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>

namespace corvatek::shell {

void updateAutostart(const QString& executable)
{
    const std::string path = QFile::encodeName(executable).toStdString();
    if (platform::autostartCommand(kAutostartName) != path)
        platform::setAutostartCommand(kAutostartName, path);
}

TForm1::TForm1(std::function<void()> openWebSite, std::function<void()> showMainWindow, QObject* parent)
    : QObject(parent), openWebSite_(std::move(openWebSite)), showMainWindow_(std::move(showMainWindow))
{
    PopupMenu1 = new QMenu();
    scannprocess1 = PopupMenu1->addAction(QStringLiteral("Corvatek"));
    connect(scannprocess1, &QAction::triggered, this, &TForm1::scannprocess1Click);

    icon = new QSystemTrayIcon(shell::icon(QStringLiteral("corvatek")), this);
    icon->setToolTip(QStringLiteral("Corvatek"));
    connect(icon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) { trayActivated(reason); });
    icon->show();
}

TForm1::~TForm1()
{
    delete PopupMenu1;
}

bool TForm1::iconVisible() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && icon->isVisible();
}

void TForm1::trayActivated(int reason)
{
    if (reason != QSystemTrayIcon::Context && reason != QSystemTrayIcon::DoubleClick)
        return;
    openWebSite_();
    PopupMenu1->popup(QCursor::pos());
}

void TForm1::scannprocess1Click()
{
    showMainWindow_();
}

} // namespace corvatek::shell
