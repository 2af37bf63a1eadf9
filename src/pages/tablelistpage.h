// What the rules and alerts pages share: a numbered, read-only list of a
// table file's rows, sorted by date on a click on the date column's header.
#pragma once

#include "data/tables.h"
#include "pages/tablelistmodel.h"
#include "shell/page.h"

class QTreeView;

namespace corvatek::pages {

class TableListPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;

    TableListModel* rows() const { return rows_; }

protected:
    // Creates the list on the page and fills it from a fresh load of the table.
    QTreeView* buildList(data::TableId id);
    // The shown row the user clicked, or -1.
    int selectedRow() const;
    // Sorts on the date column (index 2); other columns do nothing.
    void sortOnColumn(int column, MomentCompare compare);

private:
    QTreeView* list_ = nullptr;
    TableListModel* rows_ = nullptr;
};

} // namespace corvatek::pages
