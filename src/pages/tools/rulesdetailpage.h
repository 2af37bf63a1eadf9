// The rules detail page: the rules once more, read-only, each with the
// date, type, existence and signature number of the program file it names,
// so that a changed or vanished program shows at a glance.
#pragma once

#include "shell/page.h"

class QTreeView;

namespace corvatek::pages {

class RuleFilesModel;

class RulesDetailPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    QTreeView* ruleList = nullptr;
    RuleFilesModel* rules = nullptr;
};

} // namespace corvatek::pages
