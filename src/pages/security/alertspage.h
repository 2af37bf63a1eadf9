// The alerts page: the alerts the companions wrote to alertes.xml,
// numbered; a click puts the alert's program into quarantine and removes
// its rules.
#pragma once

#include "pages/tablelistpage.h"

namespace corvatek::pages {

class AlertsPage : public TableListPage {
    Q_OBJECT
public:
    using TableListPage::TableListPage;
    void build() override;

    void quarantineSelectedAlert();
    void onColumnClicked(int column);

    QTreeView* alertList = nullptr;
};

} // namespace corvatek::pages
