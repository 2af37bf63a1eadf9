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

TrayHost::TrayHost(std::function<void()> openWebSite, std::function<void()> showMainWindow, QObject* parent)
    : QObject(parent), openWebSite_(std::move(openWebSite)), showMainWindow_(std::move(showMainWindow))
{
    trayMenu = new QMenu();
    showWindowAction = trayMenu->addAction(QStringLiteral("Corvatek"));
    connect(showWindowAction, &QAction::triggered, this, &TrayHost::showWindow);

    icon = new QSystemTrayIcon(shell::icon(QStringLiteral("corvatek")), this);
    icon->setToolTip(QStringLiteral("Corvatek"));
    connect(icon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) { trayActivated(reason); });
    icon->show();
}

TrayHost::~TrayHost()
{
    delete trayMenu;
}

bool TrayHost::iconVisible() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && icon->isVisible();
}

void TrayHost::trayActivated(int reason)
{
    if (reason != QSystemTrayIcon::Context && reason != QSystemTrayIcon::DoubleClick)
        return;
    openWebSite_();
    trayMenu->popup(QCursor::pos());
}

void TrayHost::showWindow()
{
    showMainWindow_();
}

} // namespace corvatek::shell
