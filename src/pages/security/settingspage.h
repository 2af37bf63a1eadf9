// The settings page: the firewall value, the closed ports, the application
// ports, the emptying of the alerts and the language choice.
#pragma once

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

class Tpanel5 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void radiobutton14Click() { chooseFirewall(QStringLiteral("1")); }
    void radiobutton15Click() { chooseFirewall(QStringLiteral("2")); }
    void radiobutton16Click() { chooseFirewall(QStringLiteral("3")); }
    // True for a key the port field discards.
    static bool Edit13KeyPress(const QEvent* event);
    void BitBtn33Click();
    void BitBtn34Click();
    void BitBtn4Click();
    void BitBtn5Click();

    QComboBox* clearingChoice = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QComboBox* ComboBox3 = nullptr; // the languages
    QPushButton* BitBtn5 = nullptr;
    QListView* applicationPorts = nullptr;
    QLabel* closedPortsLabel = nullptr;
    QListWidget* closedPorts = nullptr;
    QLineEdit* Edit13 = nullptr;
    QPushButton* BitBtn33 = nullptr;
    QPushButton* BitBtn34 = nullptr;
    QGroupBox* firewallGroup = nullptr;
    QRadioButton* radiobutton14 = nullptr;
    QRadioButton* radiobutton15 = nullptr;
    QRadioButton* radiobutton16 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseFirewall(const QString& value);
    // Writes the closed ports list to portsfermes.txt; false when that failed.
    bool saveClosedPorts();
};

} // namespace corvatek::pages
