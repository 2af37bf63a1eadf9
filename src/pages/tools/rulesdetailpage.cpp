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
    const auto suffixed = [&](Caption caption, const char* suffix) {
        return (state.caption(caption) + QLatin1String(suffix)).left(54);
    };
    const QStringList headers {state.caption(Caption::NumberHeader), state.caption(Caption::ProgramHeader),
        state.caption(Caption::DateHeader), suffixed(Caption::FileDateHeader, " (a)"),
        suffixed(Caption::FileDateHeader, " (b)"), state.caption(Caption::TypeHeader),
        suffixed(Caption::PathHeader, " (a)"), suffixed(Caption::PathHeader, " (b)"),
        state.caption(Caption::SignatureHeader), state.caption(Caption::StoredSignatureHeader)};
    rules = new RuleFilesModel(std::move(load.table), headers, state.caption(Caption::Unknown), ruleList);
    ruleList->setModel(rules);
    // Wide enough for the usual content and for the header in every language.
    const int widths[RuleFilesModel::kColumns] = {44, 112, 124, 80, 88, 120, 200, 200, 90, 120};
    const QFontMetrics metrics = ruleList->header()->fontMetrics();
    for (int column = 0; column < RuleFilesModel::kColumns; ++column)
        ruleList->setColumnWidth(column, std::max(widths[column], metrics.horizontalAdvance(headers[column]) + 16));
}

} // namespace corvatek::pages
