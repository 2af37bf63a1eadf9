// The network options page: two options the status monitor passes to the
// network tool (network option flags 10 and 11). They live for the run only.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;

namespace corvatek::pages {

class Tpanel3 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void CheckBox1Click();
    void radiobutton1Click();
    void radiobutton2Click();

    QGroupBox* optionBox = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QRadioButton* radiobutton1 = nullptr;
    QRadioButton* radiobutton2 = nullptr;
};

} // namespace corvatek::pages
