#include "shell/trayhost.h"

#include "platform/session.h"
#include "platform/trayicon.h"
#include "shell/icons.h"

#include <QCursor>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>

namespace corvatek::shell {

void updateAutostart(const QString& executable)
{
    const std::string path = QFile::encodeName(executable).toStdString();
    if (platform::autostartCommand(kAutostartName) != path)
        platform::setAutostartCommand(kAutostartName, path);
}

namespace {

platform::TrayImage trayImage(const QIcon& icon, int pixels)
{
    const QImage image = icon.pixmap(pixels).toImage().convertToFormat(QImage::Format_ARGB32);
    platform::TrayImage result {image.width(), image.height(), {}};
    result.argb.reserve(std::size_t(image.width()) * image.height());
    for (int row = 0; row < image.height(); ++row) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(row));
        result.argb.insert(result.argb.end(), line, line + image.width());
    }
    return result;
}

} // namespace

TrayHost::TrayHost(std::function<void()> openWebSite, std::function<void()> showMainWindow, QObject* parent)
    : QObject(parent), openWebSite_(std::move(openWebSite)), showMainWindow_(std::move(showMainWindow))
{
    trayMenu = new QMenu();
    showWindowAction = trayMenu->addAction(QStringLiteral("Corvatek"));
    connect(showWindowAction, &QAction::triggered, this, &TrayHost::showWindow);

    const QIcon image = shell::icon(QStringLiteral("corvatek"));
    systemIcon = platform::addTrayIcon([&image](int pixels) { return trayImage(image, pixels); }, "Corvatek",
        [this](platform::TrayEvent event) {
            trayActivated(event == platform::TrayEvent::RightButtonDown ? QSystemTrayIcon::Context
                                                                        : QSystemTrayIcon::DoubleClick);
        });
    if (systemIcon)
        return;
    icon = new QSystemTrayIcon(image, this);
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
    if (systemIcon)
        return systemIcon->added();
    return QSystemTrayIcon::isSystemTrayAvailable() && icon->isVisible();
}

void TrayHost::trayActivated(int reason)
{
    if (reason != QSystemTrayIcon::Context && reason != QSystemTrayIcon::DoubleClick)
        return;
    openWebSite_();
    if (systemIcon)
        systemIcon->takeForeground();
    trayMenu->popup(QCursor::pos());
}

void TrayHost::showWindow()
{
    showMainWindow_();
}

} // namespace corvatek::shell
