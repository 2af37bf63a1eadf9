#include "pages/protection/diskcheckpage.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "pages/checklistmodel.h"
#include "pages/controls.h"
#include "shell/mainwindow.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeView>

namespace corvatek::pages {
namespace {

// The tool writes a path with its separator doubled after a drive colon.
QString reduceDoubledSeparators(QString line)
{
    if (line.contains(QLatin1Char(':'))) {
        line.replace(QLatin1String(":\\\\"), QLatin1String(":\\"));
        line.replace(QLatin1String("://"), QLatin1String(":/"));
    }
    return line;
}

} // namespace

void DiskCheckPage::build()
{

    statusLabel = add<QLabel>();
    statusLabel->setGeometry(240, 24, 42, 13);

    foundList = add<QListView>();
    foundList->setGeometry(24, 64, 361, 209);
    checkList = new CheckListModel(foundList);
    foundList->setModel(checkList);
    showInTwoColumns(foundList);
    connect(foundList, &QListView::clicked, this, &DiskCheckPage::showSelectedPath);

    folderTree = add<QTreeView>();
    folderTree->setGeometry(424, 24, 145, 193);
    // Read folder by folder as the user opens them, never the whole disk.
    folders = new QFileSystemModel(folderTree);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folders->setRootPath(QDir::rootPath());
    folderTree->setModel(folders);
    folderTree->setHeaderHidden(true);
    for (int column = 1; column < folders->columnCount(); ++column)
        folderTree->hideColumn(column);
    const QModelIndex current = folders->index(QDir::currentPath());
    folderTree->setCurrentIndex(current);
    folderTree->scrollTo(current);
    connect(folderTree->selectionModel(), &QItemSelectionModel::currentChanged, this, &DiskCheckPage::takeChosenFolder);

    folderField = add<QLineEdit>();
    folderField->setGeometry(424, 232, 145, 21);
    folderField->setReadOnly(true);
    folderField->installEventFilter(this);

    const struct {
        QPushButton*& button;
        int left;
        DiskCheckMode mode; // what the button shows
        void (DiskCheckPage::*click)();
    } buttons[] = {{checkDiskButton, 48, DiskCheckMode::WholeDisk, &DiskCheckPage::checkDisk},
        {checkFolderButton, 136, DiskCheckMode::Folder, &DiskCheckPage::checkFolder},
        {listFilesButton, 232, DiskCheckMode::ListFiles, &DiskCheckPage::listFiles},
        {deleteFilesButton, 336, DiskCheckMode::DeleteListed, &DiskCheckPage::deleteListedFiles}};
    for (const auto& b : buttons) {
        b.button = placeButton(add<QPushButton>(textOf(b.mode)), {b.left, 272, 75, 25}, Glyph::Ok);
        connect(b.button, &QPushButton::clicked, this, b.click);
    }
}

bool DiskCheckPage::eventFilter(QObject* watched, QEvent* event)
{
    // Of the typed characters only digits and backspace pass.
    if (watched == folderField && typesNonDigit(event))
        return true;
    return Page::eventFilter(watched, event);
}

void DiskCheckPage::showSelectedPath()
{
    const QModelIndex selected = foundList->currentIndex();
    if (checkList->rowCount() > 0 && selected.isValid())
        foundList->setToolTip(checkList->texts()[selected.row()]);
}

void DiskCheckPage::takeChosenFolder()
{
    folderField->setText(folders->filePath(folderTree->currentIndex()));
}

void DiskCheckPage::setButtonsEnabled(bool enabled)
{
    for (QPushButton* button : {checkDiskButton, checkFolderButton, listFilesButton, deleteFilesButton})
        button->setEnabled(enabled);
}

void DiskCheckPage::showStatus(Caption caption)
{
    statusLabel->setText(session().state.caption(caption));
    statusLabel->adjustSize();
}

void DiskCheckPage::runTool(const QString& parameters, int steps, const QString& notification)
{
    shell::Session& session = this->session();
    showStatus(Caption::PleaseWait);
    setButtonsEnabled(false);
    session.companions.shellStart(files::DiskTool, parameters);
    // The window stays usable meanwhile; leaving the page drops what was
    // left to do on it, since its controls are gone with it.
    QTimer::singleShot(
        session.waits.diskToolStep * steps, &window(), [&session, page = QPointer<DiskCheckPage>(this), notification] {
            if (!notification.isEmpty())
                session.companions.notify(notification, session.state.protectionLevel);
            if (!page)
                return;
            // Whatever the refresh meets, the page is usable again after it.
            const auto usable = qScopeGuard([&] {
                if (page) {
                    page->setButtonsEnabled(true);
                    page->showStatus(Caption::Done);
                }
            });
            if (notification.isEmpty())
                page->refreshList();
        });
}

void DiskCheckPage::checkDisk()
{
    runTool(textOf(DiskCheckMode::WholeDisk) + u' ' + QLatin1StringView(kWholeDiskArgument), 2, QStringLiteral("ok0"));
}

void DiskCheckPage::checkFolder()
{
    // Quoted when it holds blanks, so that the tool gets the folder as one
    // argument; with no folder the parameters stay "1 ".
    const QString folder = folderField->text();
    const QString quoted = folder.isEmpty() ? QString() : session().system.quoteArgument(folder);
    runTool(textOf(DiskCheckMode::Folder) + u' ' + quoted, 2, QStringLiteral("ok1"));
}

void DiskCheckPage::listFiles()
{
    runTool(textOf(DiskCheckMode::ListFiles), 4, {});
}

std::optional<QStringList> DiskCheckPage::listedFiles(
    const data::ProgramFiles& files, const QString& chosenFolder, QString* problem)
{
    const data::LinesRead lines = files.readLines(files::DiskCheckList);
    if (!lines.ok()) {
        if (problem && lines.status != data::FileStatus::Missing)
            *problem = lines.error;
        return std::nullopt;
    }
    QStringList listed;
    for (qsizetype row = 0; row < lines.lines.size(); ++row) {
        const QString path = reduceDoubledSeparators(lines.lines.at(row));
        if (!chosenFolder.isEmpty() && path.contains(chosenFolder))
            continue;
        // A NUL cannot be part of a path; garbage from the tool is skipped.
        if (!path.contains(QChar(0)) && QFileInfo(path).isFile())
            listed.append(path);
    }
    return listed;
}

void DiskCheckPage::refreshList()
{
    QString problem;
    if (auto listed = listedFiles(session().files, folderField->text(), &problem))
        checkList->setItems(std::move(*listed));
    else if (!problem.isEmpty())
        report(problem);
}

void DiskCheckPage::deleteListedFiles()
{
    if (!askBeforeDeleting(session().state.caption(Caption::AreYouSure)))
        return;
    setButtonsEnabled(false);
    const auto usable = qScopeGuard([this] { setButtonsEnabled(true); });
    const QStringList& paths = checkList->texts();
    QStringList unprotected;
    for (int row = 0; row < paths.size(); ++row) {
        // The check mark protects a file; so does a program holding it.
        if (!checkList->isChecked(row) && QFileInfo(paths[row]).isFile())
            unprotected.append(paths[row]);
    }
    session().system.deleteFreeFiles(unprotected);
}

} // namespace corvatek::pages
