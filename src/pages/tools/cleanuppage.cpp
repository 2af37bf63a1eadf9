#include "pages/tools/cleanuppage.h"

#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "pages/foldertree.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QTreeView>

namespace corvatek::pages {

FileList::FileList(QListView* view) : QObject(view), view_(view), model_(new QStringListModel(this))
{
    view_->setUniformItemSizes(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setModel(model_);
}

bool FileList::show(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    auto files = platform::ordinaryFiles(QFile::encodeName(folder).toStdString());
    if (!files.readable)
        return false;
    folder_ = folder;
    files_ = std::move(files);
    model_->setStringList(names());
    return true;
}

QStringList FileList::names() const
{
    return fileNames(files_);
}

void FileList::clean(const std::function<void()>& betweenBatches)
{
    // A folder of a hundred thousand downloads takes seconds to empty.
    constexpr std::size_t kBatch = 2000;
    const std::string folder = QFile::encodeName(folder_).toStdString();
    std::vector<std::string> batch;
    for (std::size_t start = 0; start <= files_.names.size(); start += kBatch) {
        const auto from = files_.names.begin() + std::ptrdiff_t(start);
        batch.assign(from, from + std::ptrdiff_t(std::min(kBatch, files_.names.size() - start)));
        if (start + kBatch > files_.names.size())
            batch.emplace_back("index.dat");
        platform::deleteFromFolder(folder, files_, batch);
        if (start + kBatch <= files_.names.size())
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
    leftFiles = new FileList(leftView);
    auto* rightView = add<QListView>();
    rightView->setGeometry(288, 48, 121, 161);
    rightFiles = new FileList(rightView);
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
    const QString downloads = QFile::decodeName(platform::userFolder(platform::UserFolder::Downloads).c_str());
    if (QFileInfo(downloads).isDir())
        rightFiles->show(downloads);
    // Linux has no cookies folder: the left list waits for a folder chosen
    // in its tree.
    leftFiles->show(QFile::decodeName(platform::userFolder(platform::UserFolder::Cookies).c_str()));
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
    if (session().seams.askBeforeDeleting(&window(), session().state.caption(Caption::AreYouSure)))
        list->clean([this] { session().keepPainted(); });
}

} // namespace corvatek::pages
