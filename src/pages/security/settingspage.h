// The settings page: the firewall value, the closed ports, the application
// ports, the emptying of the alerts and the language choice.
#pragma once

#include "data/values.h"
#include "shell/page.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace corvatek::pages {

class SettingsPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void chooseFirewallOn() { chooseFirewall(FirewallMode::On); }
    void chooseFirewallOff() { chooseFirewall(FirewallMode::Off); }
    void chooseFirewallAlways() { chooseFirewall(FirewallMode::Always); }
    void addClosedPort();
    void removeClosedPort();
    void clearChosenList();
    void applyLanguage();

    QComboBox* clearingChoice = nullptr;
    QPushButton* clearListButton = nullptr;
    QComboBox* languageBox = nullptr;
    QPushButton* applyLanguageButton = nullptr;
    QListView* applicationPorts = nullptr;
    QLabel* closedPortsLabel = nullptr;
    QListWidget* closedPorts = nullptr;
    QLineEdit* portField = nullptr;
    QPushButton* addPortButton = nullptr;
    QPushButton* removePortButton = nullptr;
    QGroupBox* firewallGroup = nullptr;
    QRadioButton* firewallOnChoice = nullptr;
    QRadioButton* firewallOffChoice = nullptr;
    QRadioButton* firewallAlwaysChoice = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseFirewall(FirewallMode mode);
    // Writes the closed ports list to portsfermes.txt; false when that failed.
    bool saveClosedPorts();
};

} // namespace corvatek::pages
