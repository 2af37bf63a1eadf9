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

class Tpanel4 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void CheckListBox1ClickCheck();
    void BitBtn21Click() { addEntry(quarantine); }
    void BitBtn1Click() { removeEntry(quarantine); }
    void BitBtn2Click() { removeAllEntries(quarantine); }
    void BitBtn32Click() { addEntry(events); }
    void BitBtn6Click() { removeEntry(events); }
    void BitBtn31Click() { removeAllEntries(events); }

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
    QListView* CheckListBox1 = nullptr;
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
