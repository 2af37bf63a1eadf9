#include "pages/foldertree.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

namespace corvatek::pages {
namespace {

// Down to the selected folder, but from the left edge: the names matter more
// than how deep they lie.
void bringIntoView(QTreeView* view)
{
    view->scrollTo(view->currentIndex(), QAbstractItemView::PositionAtCenter);
    view->horizontalScrollBar()->setValue(0);
}

} // namespace

QTreeView* showFolders(QTreeView* view)
{
    auto* model = new QFileSystemModel(view);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setReadOnly(true);
    // Watching starts at the root only; opened folders are read as they open.
    model->setRootPath(QDir::rootPath());
    view->setModel(model);
    for (int column = 1; column < model->columnCount(); ++column)
        view->setColumnHidden(column, true);
    view->setHeaderHidden(true);
    view->setUniformRowHeights(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(false);
    selectFolder(view, QDir::homePath());
    return view;
}

QString selectedFolder(const QTreeView* view)
{
    const auto* model = static_cast<const QFileSystemModel*>(view->model());
    const QModelIndex current = view->currentIndex();
    return current.isValid() ? model->filePath(current) : QString();
}

void selectFolder(QTreeView* view, const QString& path)
{
    auto* model = static_cast<QFileSystemModel*>(view->model());
    const QModelIndex index = model->index(path);
    if (!index.isValid())
        return;
    view->setCurrentIndex(index);
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent())
        view->expand(above);
    bringIntoView(view);
    // The folders above are read in the background and sorted a moment
    // later; each batch moves the rows, so the selection is brought back into
    // view meanwhile, but not once the user may have moved on.
    const auto follow = [view, settled = QDeadlineTimer(1500)] {
        if (!settled.hasExpired())
            QTimer::singleShot(0, view, [view] { bringIntoView(view); });
    };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, follow);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, view, follow);
}

} // namespace corvatek::pages
