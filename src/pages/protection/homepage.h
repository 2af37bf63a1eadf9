// The home status page: start time with the detected viruses, and the
// firewall, real-time and site control lines on green or red.
#pragma once

#include "shell/page.h"

class QComboBox;
class QLabel;

namespace corvatek::pages {

class HomePage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    QLabel* startLine = nullptr;
    QComboBox* virusBox = nullptr;
    QLabel* firewallLine = nullptr;
    QLabel* realTimeLine = nullptr;
    QLabel* sitesLine = nullptr;
};

} // namespace corvatek::pages
