// The Internet address page: the machine's host name and local address on
// request, and the web page that shows the connection's public address.
#pragma once

#include "shell/page.h"

class QComboBox;
class QPushButton;

namespace corvatek::pages {

class Tpanel11 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void BitBtn19Click(); // fills the address box
    void webAddressClick();

    QComboBox* addressBox = nullptr;
    QPushButton* BitBtn19 = nullptr;
    QPushButton* webAddressButton = nullptr;
};

} // namespace corvatek::pages
