// The rules page: the rules the companions wrote to regles.xml, numbered;
// a click deletes every rule of the clicked row's program.
#pragma once

#include "pages/tablelistpage.h"

namespace corvatek::pages {

class RulesPage : public TableListPage {
    Q_OBJECT
public:
    using TableListPage::TableListPage;
    void build() override;

    void deleteSelectedRule();
    void onColumnClicked(int column);

    QTreeView* ruleList = nullptr;
};

} // namespace corvatek::pages
