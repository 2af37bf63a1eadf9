// The shortcuts page: broken desktop shortcuts listed and deleted, dead
// autostart entries removed, the trash emptied.
#pragma once

#include "platform/platform.h"
#include "shell/page.h"

class QCheckBox;
class QListView;
class QPushButton;

namespace corvatek::pages {

class CheckListModel;

class Tpanel9 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void BitBtn13Click(); // analyse
    void BitBtn18Click(); // delete and empty

    QCheckBox* CheckBox10 = nullptr; // desktop shortcuts
    QCheckBox* CheckBox11 = nullptr; // autostart entries
    QCheckBox* CheckBox12 = nullptr; // the trash
    QListView* brokenList = nullptr;
    CheckListModel* broken = nullptr;
    QPushButton* BitBtn13 = nullptr;
    QPushButton* BitBtn18 = nullptr;

private:
    std::string desktop_; // the folder the broken shortcuts were found in
    platform::FolderFiles found_;
};

} // namespace corvatek::pages
