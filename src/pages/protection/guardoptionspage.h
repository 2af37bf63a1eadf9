// The guard options page: three members of the configuration check-box
// family. They are shown checked at every build, whatever their flags hold.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QGroupBox;

namespace corvatek::pages {

class Tpanel6 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    QGroupBox* groupBox = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
};

} // namespace corvatek::pages
