// The rules page: the rules the companions wrote to regles.xml, numbered;
// a click deletes every rule of the clicked row's program.
#pragma once

#include "pages/tablelistpage.h"

namespace corvatek::pages {

class Tpanel1 : public TableListPage {
    Q_OBJECT
public:
    using TableListPage::TableListPage;
    void build() override;

    void ListView2Click();
    void ListView2ColumnClick(int column);
    static int ListView2Compare(const std::optional<qint64>& a, const std::optional<qint64>& b);

    QTreeView* ListView2 = nullptr;
};

} // namespace corvatek::pages
