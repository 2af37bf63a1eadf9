// The guard options page: three members of the configuration check-box
// family. They are shown checked at every build, whatever their flags hold.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QGroupBox;

namespace corvatek::pages {

class GuardOptionsPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    QGroupBox* groupBox = nullptr;
    QCheckBox* scanOnOpenBox = nullptr;
    QCheckBox* scanOnWriteBox = nullptr;
    QCheckBox* scanDownloadsBox = nullptr;
};

} // namespace corvatek::pages
