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

void QuarantinePage::build()
{
    const auto& state = session().state;
    tabs = add<QTabWidget>();
    tabs->setGeometry(16, 0, 585, 320);
    QWidget* protocolTab = addTo<QWidget>(tabs);
    QWidget* quarantineTab = addTo<QWidget>(tabs);
    QWidget* eventsTab = addTo<QWidget>(tabs);
    tabs->addTab(protocolTab, state.caption(Caption::Protocols));
    tabs->addTab(quarantineTab, state.caption(Caption::Quarantine));
    tabs->addTab(eventsTab, state.caption(Caption::EventsTab));

    protocolList = addTo<QListView>(protocolTab);
    protocolList->setGeometry(128, 40, 233, 169);
    protocols = new CheckListModel(protocolList);
    protocolList->setModel(protocols);
    showInTwoColumns(protocolList);
    // The marks start clear whatever the flags hold: the flags follow the
    // marks at their next change.
    protocols->setItems({QStringLiteral("FTP"), QStringLiteral("TELNET"), QStringLiteral("SMTP"), QStringLiteral("DNS"),
        QStringLiteral("HTTP"), QStringLiteral("HTTPS"), QStringLiteral("POP3")});
    connect(protocols, &CheckListModel::dataChanged, this, &QuarantinePage::saveProtocols);

    buildEntryTab(quarantineTab, quarantine);
    buildEntryTab(eventsTab, events);
    connect(quarantine.addButton, &QPushButton::clicked, this, &QuarantinePage::addQuarantineEntry);
    connect(quarantine.removeAllButton, &QPushButton::clicked, this, &QuarantinePage::clearQuarantine);
    connect(quarantine.removeButton, &QPushButton::clicked, this, &QuarantinePage::removeQuarantineEntry);
    connect(events.addButton, &QPushButton::clicked, this, &QuarantinePage::addEvent);
    connect(events.removeAllButton, &QPushButton::clicked, this, &QuarantinePage::clearEvents);
    connect(events.removeButton, &QPushButton::clicked, this, &QuarantinePage::removeEvent);

    tabs->setCurrentIndex(1);
}

void QuarantinePage::buildEntryTab(QWidget* page, EntryTab& tab)
{
    const auto& state = session().state;
    tab.entry = addTo<QLineEdit>(page);
    tab.entry->setGeometry(72, 32, 121, 21);
    tab.addButton = placeButton(addTo<QPushButton>(page, state.caption(Caption::Add)), {104, 64, 75, 25}, Glyph::Ok);
    tab.box = addTo<QComboBox>(page);
    tab.box->setGeometry(72, 112, 145, 21);
    keepTypedText(tab.box);
    tab.removeAllButton =
        placeButton(addTo<QPushButton>(page, state.caption(Caption::ClearAll)), {72, 152, 75, 25}, Glyph::All);
    tab.removeButton =
        placeButton(addTo<QPushButton>(page, state.caption(Caption::Remove)), {152, 152, 75, 25}, Glyph::No);

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

void QuarantinePage::saveProtocols()
{
    for (int protocol = 0; protocol < shell::kProtocolCount; ++protocol)
        session().state.protocolFlags[std::size_t(protocol)] = protocols->isChecked(protocol);
}

void QuarantinePage::addEntry(EntryTab& tab)
{
    // A quarantined name is a program's: blanks around it would match none.
    const QString text = tab.table == data::TableId::Quarantine ? trimmedName(tab.entry->text()) : tab.entry->text();
    if (text.isEmpty())
        return;
    if (!check(appendRow(session().files, tab.table, text)))
        return;
    tab.box->addItem(text);
    tab.entry->clear();
}

void QuarantinePage::removeEntry(EntryTab& tab)
{
    // The list shows names trimmed: rows are matched as shown.
    const QString shown = trimmedName(tab.box->currentText());
    QStringList kept;
    const data::FileResult saved = keepRows(
        session().files, tab.table, [&](QStringView kept) { return trimmedName(kept) != shown; }, &kept);
    if (!check(saved))
        return;
    tab.box->clear();
    for (QString& name : kept)
        name = trimmedName(name);
    tab.box->addItems(kept);
    tab.box->setCurrentIndex(-1);
}

void QuarantinePage::removeAllEntries(EntryTab& tab)
{
    if (!check(emptyTable(session().files, tab.table)))
        return;
    tab.box->clear();
}

} // namespace corvatek::pages
