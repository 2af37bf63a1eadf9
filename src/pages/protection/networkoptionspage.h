// The network options page: two options the status monitor passes to the
// network tool (network option flags 10 and 11). They live for the run only.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;

namespace corvatek::pages {

class NetworkOptionsPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void toggleStealthMode();
    void chooseBlockUnknown();
    void chooseAskFirst();

    QGroupBox* optionBox = nullptr;
    QCheckBox* stealthModeBox = nullptr;
    QRadioButton* blockUnknownChoice = nullptr;
    QRadioButton* askFirstChoice = nullptr;
};

} // namespace corvatek::pages
