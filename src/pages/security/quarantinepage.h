// The quarantine page: three tabs, the protocols the network tool filters,
// the quarantined programs (quarantaines.xml) and the event entries
// (evenements.xml).
#pragma once

#include "data/tables.h"
#include "shell/page.h"

class QComboBox;
class QLineEdit;
class QListView;
class QPushButton;
class QTabWidget;

namespace corvatek::pages {

class CheckListModel;

class QuarantinePage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void saveProtocols();
    void addQuarantineEntry() { addEntry(quarantine); }
    void removeQuarantineEntry() { removeEntry(quarantine); }
    void clearQuarantine() { removeAllEntries(quarantine); }
    void addEvent() { addEntry(events); }
    void removeEvent() { removeEntry(events); }
    void clearEvents() { removeAllEntries(events); }

    // The controls of a tab over a one-field table.
    struct EntryTab {
        data::TableId table;
        QLineEdit* entry = nullptr;
        QPushButton* addButton = nullptr;
        QComboBox* box = nullptr; // the entries, trimmed; text as typed
        QPushButton* removeAllButton = nullptr;
        QPushButton* removeButton = nullptr;
    };

    QTabWidget* tabs = nullptr;
    QListView* protocolList = nullptr;
    CheckListModel* protocols = nullptr;
    EntryTab quarantine {data::TableId::Quarantine};
    EntryTab events {data::TableId::Events};

private:
    void buildEntryTab(QWidget* page, EntryTab& tab);
    void addEntry(EntryTab& tab);
    void removeEntry(EntryTab& tab);
    void removeAllEntries(EntryTab& tab);
};

} // namespace corvatek::pages
