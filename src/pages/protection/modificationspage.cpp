#include "pages/protection/modificationspage.h"

#include "data/filenames.h"
#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace corvatek::pages {
void ModificationsPage::build()
{
    shell::Session& session = this->session();
    showFileButton = add<QPushButton>();
    deleteFileButton = add<QPushButton>();
    contentBox = add<QPlainTextEdit>();
    watchSystemFilesBox = family::place(session, add<QCheckBox>(), family::kWatchSystemFiles, {48, 160, 169, 17});
    watchSettingsFilesBox = family::place(session, add<QCheckBox>(), family::kWatchSettingsFiles, {48, 192, 145, 17});
    watchAutostartBox = family::place(session, add<QCheckBox>(), family::kWatchAutostart, {48, 224, 153, 17});
    watchProcessesBox = family::place(session, add<QCheckBox>(), family::kWatchProcesses, {48, 248, 145, 17});
    fileList = add<QListWidget>();

    placeButton(showFileButton, {32, 32, 75, 25}, Glyph::Ok)->setText(standardCaption(Glyph::Ok));
    connect(showFileButton, &QPushButton::clicked, this, &ModificationsPage::showChosenFile);
    placeButton(deleteFileButton, {32, 64, 75, 25}, Glyph::No)->setText(standardCaption(Glyph::No));
    connect(deleteFileButton, &QPushButton::clicked, this, &ModificationsPage::deleteChosenFile);

    fileList->setGeometry(120, 32, 153, 109);
    // Matched as the suite has always matched file names: letter case aside.
    const QDir folder(session.folder);
    fileList->addItems(
        folder.entryList({QStringView(files::ModificationFiles).toString()}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    contentBox->setGeometry(280, 32, 300, 310);
    showBothScrollBars(contentBox);

    for (const auto& [box, member] : {std::pair {watchSystemFilesBox, family::kWatchSystemFiles},
             std::pair {watchSettingsFilesBox, family::kWatchSettingsFiles},
             std::pair {watchAutostartBox, family::kWatchAutostart},
             std::pair {watchProcessesBox, family::kWatchProcesses}})
        family::showFlag(session, box, member);
}

QString ModificationsPage::chosenName() const
{
    const QListWidgetItem* item = fileList->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void ModificationsPage::showChosenFile()
{
    const QString name = chosenName();
    if (name.isEmpty())
        return;
    contentBox->clear();
    // A file the user made read-only is not in use: it is shown, and
    // deleted after the question, as its folder allows.
    if (session().system.inUse(session().files.path(name)))
        return;
    const data::LinesRead read = session().files.readLines(name);
    if (read.status == data::FileStatus::Unreadable)
        report(read.error);
    contentBox->setPlainText(read.lines.joined());
}

void ModificationsPage::deleteChosenFile()
{
    const QString name = chosenName();
    const QString path = session().files.path(name);
    if (name.isEmpty() || session().system.inUse(path))
        return;
    if (!askBeforeDeleting(session().state.caption(Caption::AreYouSure)))
        return;
    contentBox->clear();
    // A companion may have taken the file while the question was open.
    session().system.deleteFreeFiles({path});
}

} // namespace corvatek::pages
