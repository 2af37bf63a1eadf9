#include "pages/tools/shortcutspage.h"

#include "pages/checklistmodel.h"
#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QListView>
#include <QPushButton>

namespace corvatek::pages {

void ShortcutsPage::build()
{
    auto& session = this->session();
    brokenShortcutsBox = family::place(session, add<QCheckBox>(), family::kBrokenShortcuts, {40, 56, 121, 17});
    autostartEntriesBox = family::place(session, add<QCheckBox>(), family::kAutostartEntries, {40, 88, 145, 17});
    emptyTrashBox = family::place(session, add<QCheckBox>(), family::kEmptyTrash, {40, 112, 113, 17});
    brokenList = add<QListView>();
    brokenList->setGeometry(144, 48, 337, 97);
    brokenList->setUniformItemSizes(true);
    brokenList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    broken = new CheckListModel(brokenList);
    brokenList->setModel(broken);
    findButton = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {248, 264, 75, 25}, Glyph::Ok);
    deleteButton = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {504, 80, 75, 25}, Glyph::Ok);
    connect(findButton, &QPushButton::clicked, this, &ShortcutsPage::findBroken);
    connect(deleteButton, &QPushButton::clicked, this, &ShortcutsPage::deleteBroken);
    family::showFlag(session, brokenShortcutsBox, family::kBrokenShortcuts);
    family::showFlag(session, autostartEntriesBox, family::kAutostartEntries);
    family::showFlag(session, emptyTrashBox, family::kEmptyTrash);
}

void ShortcutsPage::findBroken()
{
    if (brokenShortcutsBox->isChecked()) {
        found_ = session().system.brokenDesktopShortcuts();
        broken->setItems(found_.names());
    }
    if (autostartEntriesBox->isChecked())
        session().system.removeDeadAutostartEntries();
}

void ShortcutsPage::deleteBroken()
{
    if (!askBeforeDeleting(session().state.caption(Caption::AreYouSure)))
        return;
    std::vector<std::size_t> unchecked;
    for (int row = 0; row < broken->rowCount(); ++row) {
        if (!broken->isChecked(row))
            unchecked.push_back(std::size_t(row));
    }
    found_.remove(unchecked);
    if (emptyTrashBox->isChecked())
        session().emptyTrash();
}

} // namespace corvatek::pages
