#include "pages/security/rulespage.h"

#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QHeaderView>
#include <QTreeView>

namespace corvatek::pages {

void RulesPage::build()
{
    ruleList = buildList(data::TableId::Rules);
    connect(ruleList, &QTreeView::clicked, this, &RulesPage::deleteSelectedRule);
    connect(ruleList->header(), &QHeaderView::sectionClicked, this, &RulesPage::onColumnClicked);
}

void RulesPage::deleteSelectedRule()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString name = rows()->name(row);
    if (!askBeforeDeleting(session().state.caption(Caption::DeleteRuleQuestion) + name))
        return;
    // Every rule of the program goes, and rows naming no program with them.
    const data::FileResult saved = keepRows(
        session().files, data::TableId::Rules, [&](QStringView kept) { return kept != name && !kept.isEmpty(); });
    if (check(saved))
        rows()->takeRow(row);
}

void RulesPage::onColumnClicked(int column)
{
    sortOnColumn(column, compareMoments);
}

} // namespace corvatek::pages
