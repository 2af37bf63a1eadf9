#include "pages/tools/cleanuppage.h"

#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "pages/foldertree.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QTreeView>

#include <numeric>

namespace corvatek::pages {

FileList::FileList(const shell::System& system, QListView* view)
    : QObject(view), system_(system), view_(view), model_(new QStringListModel(this))
{
    view_->setUniformItemSizes(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setModel(model_);
}

bool FileList::show(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    shell::ListedFiles files = system_.ordinaryFiles(folder);
    if (!files.readable())
        return false;
    folder_ = folder;
    files_ = std::move(files);
    model_->setStringList(names());
    return true;
}

QStringList FileList::names() const
{
    return files_.names();
}

void FileList::clean(const std::function<void()>& betweenBatches)
{
    // A folder of a hundred thousand downloads takes seconds to empty.
    constexpr std::size_t kBatch = 2000;
    const std::size_t count = files_.size();
    std::vector<std::size_t> batch;
    for (std::size_t start = 0; start <= count; start += kBatch) {
        batch.resize(std::min(kBatch, count - start));
        std::iota(batch.begin(), batch.end(), start);
        const bool last = start + kBatch > count;
        files_.remove(batch, last ? QStringList {QStringLiteral("index.dat")} : QStringList());
        if (!last)
            betweenBatches();
    }
}

void CleanupPage::build()
{
    auto& session = this->session();
    const auto& state = session.state;

    tempFilesBox = family::place(session, add<QCheckBox>(), family::kTempFiles, {16, 24, 97, 17});
    add<QLabel>(state.caption(Caption::Cookies))->move(192, 16);
    add<QLabel>(state.caption(Caption::Downloads))->move(304, 16);
    leftTree = showFolders(add<QTreeView>());
    leftTree->setGeometry(24, 48, 121, 161);
    auto* leftView = add<QListView>();
    leftView->setGeometry(160, 48, 121, 161);
    leftFiles = new FileList(session.system, leftView);
    auto* rightView = add<QListView>();
    rightView->setGeometry(288, 48, 121, 161);
    rightFiles = new FileList(session.system, rightView);
    rightTree = showFolders(add<QTreeView>());
    rightTree->setGeometry(424, 48, 121, 161);
    cleanLeftButton = placeButton(add<QPushButton>(state.caption(Caption::ClearAll)), {160, 216, 75, 25}, Glyph::Ok);
    cleanRightButton = placeButton(add<QPushButton>(state.caption(Caption::ClearAll)), {288, 216, 75, 25}, Glyph::Ok);

    connect(leftTree, &QTreeView::doubleClicked, this, &CleanupPage::showLeftFolder);
    connect(rightTree, &QTreeView::doubleClicked, this, &CleanupPage::showRightFolder);
    connect(cleanLeftButton, &QPushButton::clicked, this, &CleanupPage::cleanLeftFolder);
    connect(cleanRightButton, &QPushButton::clicked, this, &CleanupPage::cleanRightFolder);

    // Only ever a folder the user's downloads folder or the user's own choice
    // names: without one the list starts empty, since a clear deletes what
    // it shows.
    const QString downloads = session.system.userFolder(shell::UserFolder::Downloads);
    if (QFileInfo(downloads).isDir())
        rightFiles->show(downloads);
    // Linux has no cookies folder: the left list waits for a folder chosen
    // in its tree.
    leftFiles->show(session.system.userFolder(shell::UserFolder::Cookies));
    family::showFlag(session, tempFilesBox, family::kTempFiles);
}

void CleanupPage::showLeftFolder()
{
    if (!leftFiles->show(selectedFolder(leftTree)))
        leftFiles->show(leftFiles->folder());
}

void CleanupPage::showRightFolder()
{
    if (!rightFiles->show(selectedFolder(rightTree)))
        rightFiles->show(rightFiles->folder());
}

void CleanupPage::cleanLeftFolder()
{
    clean(leftFiles);
}

void CleanupPage::cleanRightFolder()
{
    clean(rightFiles);
}

void CleanupPage::clean(FileList* list)
{
    if (list->folder().isEmpty())
        return; // no folder shown: nothing to ask about
    if (askBeforeDeleting(session().state.caption(Caption::AreYouSure)))
        list->clean([this] { session().keepPainted(); });
}

} // namespace corvatek::pages
