// The alerts page: the alerts the companions wrote to alertes.xml,
// numbered; a click puts the alert's program into quarantine and removes
// its rules.
#pragma once

#include "pages/tablelistpage.h"

namespace corvatek::pages {

class Tpanel2 : public TableListPage {
    Q_OBJECT
public:
    using TableListPage::TableListPage;
    void build() override;

    void ListView3Click();
    void ListView3ColumnClick(int column);
    static int ListView3Compare(const std::optional<qint64>& a, const std::optional<qint64>& b);

    QTreeView* ListView3 = nullptr;
};

} // namespace corvatek::pages
