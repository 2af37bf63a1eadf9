// The shortcuts page: broken desktop shortcuts listed and deleted, dead
// autostart entries removed, the trash emptied.
#pragma once

#include "shell/page.h"
#include "shell/system.h"

class QCheckBox;
class QListView;
class QPushButton;

namespace corvatek::pages {

class CheckListModel;

class ShortcutsPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void findBroken();
    // Deletes the unticked broken shortcuts, then empties the trash when its
    // box is ticked.
    void deleteBroken();

    QCheckBox* brokenShortcutsBox = nullptr; // desktop shortcuts
    QCheckBox* autostartEntriesBox = nullptr;
    QCheckBox* emptyTrashBox = nullptr;
    QListView* brokenList = nullptr;
    CheckListModel* broken = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* deleteButton = nullptr;

private:
    shell::ListedFiles found_; // on the desktop
};

} // namespace corvatek::pages
