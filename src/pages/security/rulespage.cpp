#include "pages/security/rulespage.h"

#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QHeaderView>
#include <QTreeView>

namespace corvatek::pages {

void Tpanel1::build()
{
    ListView2 = buildList(data::TableId::Rules);
    connect(ListView2, &QTreeView::clicked, this, &Tpanel1::ListView2Click);
    connect(ListView2->header(), &QHeaderView::sectionClicked, this, &Tpanel1::ListView2ColumnClick);
}

void Tpanel1::ListView2Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString name = rows()->name(row);
    if (!session().seams.askYesNo(&window(), session().state.caption(22) + name))
        return;
    // Every rule of the program goes, and rows naming no program with them.
    const data::FileResult saved = keepRows(
        session().files, data::TableId::Rules, [&](QStringView champ1) { return champ1 != name && !champ1.isEmpty(); });
    if (succeeded(session(), &window(), saved))
        rows()->takeRow(row);
}

void Tpanel1::ListView2ColumnClick(int column)
{
    sortOnColumn(column, ListView2Compare);
}

int Tpanel1::ListView2Compare(const std::optional<qint64>& a, const std::optional<qint64>& b)
{
    return compareMoments(a, b);
}

} // namespace corvatek::pages
