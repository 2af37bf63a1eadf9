#include "pages/tablelistpage.h"

#include "localisation/timeformat.h"
#include "pages/controls.h"
#include "shell/session.h"

#include <QHeaderView>
#include <QScopeGuard>
#include <QTreeView>

namespace corvatek::pages {

QTreeView* TableListPage::buildList(data::TableId id)
{
    const auto& state = session().state;
    list_ = showAsReport(add<QTreeView>());
    list_->setGeometry(8, 24, 585, 320);

    data::TableLoad load = session().files.loadTable(id);
    if (!load.ok()) {
        // Told once the page is on screen; the list stays empty.
        reportOnceShown(load.error);
        load.table = data::defaultTable(id);
    }
    const QStringList headers {state.caption(Caption::NumberHeader), state.caption(Caption::ProgramHeader),
        state.caption(Caption::DateHeader), state.caption(Caption::ActionHeader), state.caption(Caption::VersionHeader),
        state.caption(Caption::PathHeader)};
    rows_ = new TableListModel(std::move(load.table), headers, state.caption(Caption::Unknown), list_);
    list_->setModel(rows_);
    const int widths[] = {44, 112, 124, 96, 88, 320};
    for (int column = 0; column < TableListModel::kColumns; ++column)
        list_->setColumnWidth(column, widths[column]);
    return list_;
}

int TableListPage::selectedRow() const
{
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TableListPage::sortOnColumn(int column, MomentCompare compare)
{
    if (column != 2)
        return;
    list_->setUpdatesEnabled(false);
    const auto resume = qScopeGuard([this] { list_->setUpdatesEnabled(true); });
    rows_->sortByDate(localisation::DateTimeReader(), compare);
}

} // namespace corvatek::pages
