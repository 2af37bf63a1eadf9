#include "pages/tools/shortcutspage.h"

#include "pages/checklistmodel.h"
#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "pages/foldertree.h"
#include "shell/mainwindow.h"
#include "shell/trayhost.h"

#include <QCheckBox>
#include <QFile>
#include <QListView>
#include <QPushButton>

namespace corvatek::pages {

void Tpanel9::build()
{
    auto& session = this->session();
    CheckBox10 = family::place(session, add<QCheckBox>(), family::CheckBox10, {40, 56, 121, 17});
    CheckBox11 = family::place(session, add<QCheckBox>(), family::CheckBox11, {40, 88, 145, 17});
    CheckBox12 = family::place(session, add<QCheckBox>(), family::CheckBox12, {40, 112, 113, 17});
    brokenList = add<QListView>();
    brokenList->setGeometry(144, 48, 337, 97);
    brokenList->setUniformItemSizes(true);
    brokenList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    broken = new CheckListModel(brokenList);
    brokenList->setModel(broken);
    BitBtn13 = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {248, 264, 75, 25}, Glyph::Ok);
    BitBtn18 = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {504, 80, 75, 25}, Glyph::Ok);
    connect(BitBtn13, &QPushButton::clicked, this, &Tpanel9::BitBtn13Click);
    connect(BitBtn18, &QPushButton::clicked, this, &Tpanel9::BitBtn18Click);
    family::showFlag(session, CheckBox10, family::CheckBox10);
    family::showFlag(session, CheckBox11, family::CheckBox11);
    family::showFlag(session, CheckBox12, family::CheckBox12);
}

void Tpanel9::BitBtn13Click()
{
    if (CheckBox10->isChecked()) {
        desktop_ = platform::userFolder(platform::UserFolder::Desktop);
        found_ = platform::brokenShortcuts(desktop_);
        broken->setItems(fileNames(found_));
    }
    if (CheckBox11->isChecked())
        platform::removeDeadAutostartEntries(shell::kAutostartName);
}

void Tpanel9::BitBtn18Click()
{
    if (!session().seams.askYesNo(&window(), session().state.caption(65)))
        return;
    std::vector<std::string> unchecked;
    for (int row = 0; row < broken->rowCount(); ++row) {
        if (!broken->isChecked(row))
            unchecked.push_back(found_.names[std::size_t(row)]);
    }
    platform::deleteFromFolder(desktop_, found_, unchecked);
    if (CheckBox12->isChecked())
        platform::emptyTrash(session().seams.trashFolders(), [this] { session().keepPainted(); });
}

} // namespace corvatek::pages
