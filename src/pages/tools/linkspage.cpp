#include "pages/tools/linkspage.h"

#include "localisation/captions.h"
#include "pages/linesmodel.h"
#include "shell/session.h"

#include <QEvent>
#include <QListView>

namespace corvatek::pages {

void LinksPage::build()
{
    linkList = add<QListView>();
    linkList->setGeometry(10, 47, 545, 289);
    linkList->setUniformItemSizes(true); // a long file is not measured line by line
    linkList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    data::LinesRead read;
    if (const auto name = localisation::linksFileName(session().state.languageCode)) {
        const data::ProgramFiles shipped(
            session().shippedFolderOf(*name), {session().files.fileWait(), [this] { session().keepPainted(); }});
        read = shipped.readLines(*name);
        if (read.status == data::FileStatus::Unreadable)
            reportOnceShown(read.error);
    }
    linkList->setModel(new LinesModel(std::move(read.lines), linkList));

    // Keys and clicks that select a line open it; a click on the line already
    // selected opens it again. Focus alone selects nothing.
    connect(linkList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (linkList->selectionModel()->hasSelection())
            openSelectedLink();
    });
    linkList->viewport()->installEventFilter(this);
    connect(linkList, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index == selectedAtPress_)
            openSelectedLink();
    });
}

bool LinksPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const QModelIndexList selected = linkList->selectionModel()->selectedIndexes();
        selectedAtPress_ = selected.isEmpty() ? QModelIndex() : selected.first();
    }
    return Page::eventFilter(watched, event);
}

void LinksPage::openSelectedLink()
{
    const QModelIndexList selected = linkList->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        session().seams.open(selected.first().data().toString());
}

} // namespace corvatek::pages
