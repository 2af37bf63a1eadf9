// The links page: the lines of the language's links file, each opened with
// the user's default handler when it is picked.
#pragma once

#include "shell/page.h"

#include <QPersistentModelIndex>

class QListView;

namespace corvatek::pages {

class LinksPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    // The selection moved to a line, or the selected line was clicked.
    void openSelectedLink();

    QListView* linkList = nullptr;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QPersistentModelIndex selectedAtPress_;
};

} // namespace corvatek::pages
