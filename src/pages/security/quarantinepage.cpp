#include "pages/security/quarantinepage.h"

#include "pages/checklistmodel.h"
#include "pages/controls.h"
#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>

namespace corvatek::pages {

void Tpanel4::build()
{
    const auto& state = session().state;
    tabs = add<QTabWidget>();
    tabs->setGeometry(16, 0, 585, 320);
    QWidget* protocolTab = addTo<QWidget>(tabs);
    QWidget* quarantineTab = addTo<QWidget>(tabs);
    QWidget* eventsTab = addTo<QWidget>(tabs);
    tabs->addTab(protocolTab, state.caption(52));
    tabs->addTab(quarantineTab, state.caption(5));
    tabs->addTab(eventsTab, state.caption(2));

    CheckListBox1 = addTo<QListView>(protocolTab);
    CheckListBox1->setGeometry(128, 40, 233, 169);
    protocols = new CheckListModel(CheckListBox1);
    CheckListBox1->setModel(protocols);
    showInTwoColumns(CheckListBox1);
    // The marks start clear whatever the flags hold: the flags follow the
    // marks at their next change.
    protocols->setItems({QStringLiteral("FTP"), QStringLiteral("TELNET"), QStringLiteral("SMTP"), QStringLiteral("DNS"),
        QStringLiteral("HTTP"), QStringLiteral("HTTPS"), QStringLiteral("POP3")});
    connect(protocols, &CheckListModel::dataChanged, this, &Tpanel4::CheckListBox1ClickCheck);

    buildEntryTab(quarantineTab, quarantine);
    buildEntryTab(eventsTab, events);
    connect(quarantine.addButton, &QPushButton::clicked, this, &Tpanel4::BitBtn21Click);
    connect(quarantine.removeAllButton, &QPushButton::clicked, this, &Tpanel4::BitBtn2Click);
    connect(quarantine.removeButton, &QPushButton::clicked, this, &Tpanel4::BitBtn1Click);
    connect(events.addButton, &QPushButton::clicked, this, &Tpanel4::BitBtn32Click);
    connect(events.removeAllButton, &QPushButton::clicked, this, &Tpanel4::BitBtn31Click);
    connect(events.removeButton, &QPushButton::clicked, this, &Tpanel4::BitBtn6Click);

    tabs->setCurrentIndex(1);
}

void Tpanel4::buildEntryTab(QWidget* page, EntryTab& tab)
{
    const auto& state = session().state;
    tab.entry = addTo<QLineEdit>(page);
    tab.entry->setGeometry(72, 32, 121, 21);
    tab.addButton = placeButton(addTo<QPushButton>(page, state.caption(14)), {104, 64, 75, 25}, Glyph::Ok);
    tab.box = addTo<QComboBox>(page);
    tab.box->setGeometry(72, 112, 145, 21);
    keepTypedText(tab.box);
    tab.removeAllButton = placeButton(addTo<QPushButton>(page, state.caption(18)), {72, 152, 75, 25}, Glyph::All);
    tab.removeButton = placeButton(addTo<QPushButton>(page, state.caption(15)), {152, 152, 75, 25}, Glyph::No);

    const data::TableLoad load = session().files.loadTable(tab.table);
    if (!load.ok()) {
        reportOnceShown(load.error);
        return;
    }
    QStringList names = firstFieldOf(load.table);
    for (QString& name : names)
        name = trimmedName(name);
    tab.box->addItems(names);
    tab.box->setCurrentIndex(-1); // nothing chosen yet
}

void Tpanel4::CheckListBox1ClickCheck()
{
    for (int protocol = 0; protocol < shell::kProtocolCount; ++protocol)
        session().state.protocolFlags[std::size_t(protocol)] = protocols->isChecked(protocol);
}

void Tpanel4::addEntry(EntryTab& tab)
{
    // A quarantined name is a program's: blanks around it would match none.
    const QString text = tab.table == data::TableId::Quarantine ? trimmedName(tab.entry->text()) : tab.entry->text();
    if (text.isEmpty())
        return;
    if (!succeeded(session(), &window(), appendRow(session().files, tab.table, text)))
        return;
    tab.box->addItem(text);
    tab.entry->clear();
}

void Tpanel4::removeEntry(EntryTab& tab)
{
    // The list shows names trimmed: rows are matched as shown.
    const QString shown = trimmedName(tab.box->currentText());
    QStringList kept;
    const data::FileResult saved = keepRows(
        session().files, tab.table, [&](QStringView champ1) { return trimmedName(champ1) != shown; }, &kept);
    if (!succeeded(session(), &window(), saved))
        return;
    tab.box->clear();
    for (QString& name : kept)
        name = trimmedName(name);
    tab.box->addItems(kept);
    tab.box->setCurrentIndex(-1);
}

void Tpanel4::removeAllEntries(EntryTab& tab)
{
    if (!succeeded(session(), &window(), emptyTable(session().files, tab.table)))
        return;
    tab.box->clear();
}

} // namespace corvatek::pages
