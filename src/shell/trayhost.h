// The tray host: never shown; its presence is the notification-area
// icon with its one-item menu. It also keeps the autostart entry pointing at
// this executable.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace corvatek::platform {
class TrayIcon;
}

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace corvatek::shell {

class TrayHost : public QObject {
    Q_OBJECT
public:
    // `openWebSite` opens the product web site; `showMainWindow` shows the main window.
    TrayHost(std::function<void()> openWebSite, std::function<void()> showMainWindow, QObject* parent = nullptr);
    ~TrayHost() override;

    // Whether the user can see the icon (there is a system tray).
    bool iconVisible() const;
    // The mouse on the icon (a QSystemTrayIcon reason): a right-button press
    // or a left double click opens the web site, then pops the menu up.
    void trayActivated(int reason);
    void showWindow();

    // Where the system's tray talks to programs itself (Windows), the icon is
    // the platform's and `icon` is null; elsewhere the toolkit's.
    std::unique_ptr<platform::TrayIcon> systemIcon;
    QSystemTrayIcon* icon = nullptr;
    QMenu* trayMenu = nullptr;
    QAction* showWindowAction = nullptr;

private:
    std::function<void()> openWebSite_;
    std::function<void()> showMainWindow_;
};

// The name of the control centre's own autostart entry.
inline constexpr char kAutostartName[] = "Corvatek";

// Points the user's autostart entry at `executable` unless it already does
// (exact comparison).
void updateAutostart(const QString& executable);

} // namespace corvatek::shell
