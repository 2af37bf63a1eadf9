#include "pages/tools/rulesdetailpage.h"

#include "data/tables.h"
#include "pages/controls.h"
#include "pages/tools/rulefilesmodel.h"
#include "shell/session.h"

#include <QHeaderView>
#include <QTreeView>

namespace corvatek::pages {

void RulesDetailPage::build()
{
    const auto& state = session().state;
    ruleList = showAsReport(add<QTreeView>());
    ruleList->setGeometry(8, 24, 585, 320);

    data::TableLoad load = session().files.loadTable(data::TableId::Rules);
    if (!load.ok()) {
        reportOnceShown(load.error);
        load.table = data::defaultTable(data::TableId::Rules);
    }
    const auto suffixed = [&](int caption, const char* suffix) {
        return (state.caption(caption) + QLatin1String(suffix)).left(54);
    };
    const QStringList headers {state.caption(9), state.caption(10), state.caption(11), suffixed(92, " (a)"),
        suffixed(92, " (b)"), state.caption(93), suffixed(30, " (a)"), suffixed(30, " (b)"), state.caption(94),
        state.caption(95)};
    rules = new RuleFilesModel(std::move(load.table), headers, state.caption(42), ruleList);
    ruleList->setModel(rules);
    // Wide enough for the usual content and for the header in every language.
    const int widths[RuleFilesModel::kColumns] = {44, 112, 124, 80, 88, 120, 200, 200, 90, 120};
    const QFontMetrics metrics = ruleList->header()->fontMetrics();
    for (int column = 0; column < RuleFilesModel::kColumns; ++column)
        ruleList->setColumnWidth(column, std::max(widths[column], metrics.horizontalAdvance(headers[column]) + 16));
}

} // namespace corvatek::pages
