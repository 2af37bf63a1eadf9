// The Internet address page: the machine's host name and local address on
// request, and the web page that shows the connection's public address.
#pragma once

#include "shell/page.h"

class QComboBox;
class QPushButton;

namespace corvatek::pages {

class AddressPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void showMachineAddress(); // fills the address box
    void openAddressWebPage();

    QComboBox* addressBox = nullptr;
    QPushButton* machineAddressButton = nullptr;
    QPushButton* webAddressButton = nullptr;
};

} // namespace corvatek::pages
