#include "pages/security/alertspage.h"

#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QHeaderView>
#include <QTreeView>

namespace corvatek::pages {

void AlertsPage::build()
{
    alertList = buildList(data::TableId::Alerts);
    connect(alertList, &QTreeView::clicked, this, &AlertsPage::quarantineSelectedAlert);
    connect(alertList->header(), &QHeaderView::sectionClicked, this, &AlertsPage::onColumnClicked);
}

void AlertsPage::quarantineSelectedAlert()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    shell::Session& session = this->session();
    const QString shown = rows()->name(row);
    if (!askBeforeDeleting(session.state.caption(Caption::MoveToQuarantineQuestion) + shown))
        return;
    const QString name = trimmedName(shown);

    const data::TableLoad quarantine = session.files.loadTable(data::TableId::Quarantine);
    if (!check(quarantine))
        return;
    for (const QString& quarantined : firstFieldOf(quarantine.table)) {
        if (trimmedName(quarantined) == name)
            return; // already in quarantine: nothing changes
    }
    // Stored trimmed: a name with blanks around it matches no process.
    if (!check(appendRow(session.files, data::TableId::Quarantine, name)))
        return;
    check(keepRows(session.files, data::TableId::Rules, [&](QStringView kept) { return kept != name; }));
}

void AlertsPage::onColumnClicked(int column)
{
    sortOnColumn(column, compareMoments);
}

} // namespace corvatek::pages
