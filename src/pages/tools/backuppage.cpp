#include "pages/tools/backuppage.h"

#include "data/filenames.h"
#include "pages/controls.h"
#include "pages/foldertree.h"
#include "shell/mainwindow.h"
#include "supervision/statusmonitor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

namespace corvatek::pages {

void BackupPage::build()
{
    auto& state = session().state;
    // What the file holds is what the schedule runs on; a file that cannot be
    // read leaves what this run knows.
    const data::FileResult stored = supervision::loadBackupSchedule(state, session().files);
    if (!stored.ok() && stored.status != data::FileStatus::Missing)
        reportOnceShown(stored.error);
    if (!state.backupEntries.contains(state.selectedBackupEntry))
        state.selectedBackupEntry.clear();

    backupBox = add<QCheckBox>(state.caption(Caption::Backup));
    backupBox->setGeometry(16, 32, 129, 17);
    sourceTree = showFolders(add<QTreeView>());
    sourceTree->setGeometry(24, 48, 121, 161);
    destinationTree = showFolders(add<QTreeView>());
    destinationTree->setGeometry(176, 48, 121, 161);
    sourceLabel = add<QLabel>();
    sourceLabel->setGeometry(192, 16, 38, 13);
    destinationLabel = add<QLabel>();
    destinationLabel->setGeometry(304, 16, 53, 13);
    sourceField = add<QLineEdit>();
    sourceField->setGeometry(24, 222, 121, 21);
    destinationField = add<QLineEdit>();
    destinationField->setGeometry(176, 222, 121, 21);

    scheduleBox = add<QGroupBox>();
    scheduleBox->setGeometry(320, 222, 185, 121);
    const auto choice = [&](Caption caption, int top) {
        auto* button = addTo<QRadioButton>(scheduleBox, state.caption(caption));
        button->setGeometry(8, top, 121, 21);
        connect(button, &QRadioButton::clicked, this, &BackupPage::chooseSchedule);
        return button;
    };
    manualChoice = choice(Caption::NoSchedule, 8);
    everyMinuteChoice = choice(Caption::EveryMinute, 32);
    hourlyChoice = choice(Caption::EveryHour, 64);
    // The schedule in force, which outlives the page: showing "manual only"
    // while another fires would mislead.
    (state.hourlyBackupFlag               ? hourlyChoice
            : state.everyMinuteBackupFlag ? everyMinuteChoice
                                          : manualChoice)
        ->setChecked(true);

    entryBox = add<QComboBox>();
    entryBox->setGeometry(24, 252, 233, 19);
    entryBox->addItems(state.backupEntries);
    showChosenEntry();
    addButton = placeButton(add<QPushButton>(state.caption(Caption::Add)), {32, 282, 75, 25}, Glyph::Ok);
    removeButton = placeButton(add<QPushButton>(state.caption(Caption::Remove)), {120, 282, 75, 25}, Glyph::Ok);
    runButton = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {200, 282, 75, 25}, Glyph::Ok);

    connect(backupBox, &QCheckBox::clicked, this, &BackupPage::toggleBackupFlag);
    connect(sourceTree, &QTreeView::doubleClicked, this, &BackupPage::takeSourceFolder);
    connect(destinationTree, &QTreeView::doubleClicked, this, &BackupPage::takeDestinationFolder);
    connect(entryBox, &QComboBox::activated, this, &BackupPage::chooseEntry);
    connect(addButton, &QPushButton::clicked, this, &BackupPage::addEntry);
    connect(removeButton, &QPushButton::clicked, this, &BackupPage::removeEntry);
    connect(runButton, &QPushButton::clicked, this, &BackupPage::runBackup);

    backupBox->setChecked(state.backupPageCheckFlag);
}

void BackupPage::showChosenEntry()
{
    // Shown text and chosen entry never differ: the list shows nothing until
    // the user picks an entry.
    const QString& chosen = session().state.selectedBackupEntry;
    entryBox->setCurrentIndex(chosen.isEmpty() ? -1 : entryBox->findText(chosen));
}

bool BackupPage::keepSchedule()
{
    return check(supervision::saveBackupSchedule(session().state, session().files));
}

void BackupPage::takeSourceFolder()
{
    sourceField->setText(selectedFolder(sourceTree));
}

void BackupPage::takeDestinationFolder()
{
    destinationField->setText(selectedFolder(destinationTree));
}

void BackupPage::addEntry()
{
    const QString source = sourceField->text();
    const QString destination = destinationField->text();
    // A relative path would name a folder of wherever the program was started.
    const auto isFolder = [](const QString& path) { return QFileInfo(path).isAbsolute() && QFileInfo(path).isDir(); };
    if (!isFolder(source) || !isFolder(destination))
        return;
    const QString entry = source + QLatin1Char(';') + destination;
    // Its file keeps an entry a line: a line end would make two of it.
    if (entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r')))
        return;
    session().state.backupEntries.append(entry);
    entryBox->addItem(entry);
    showChosenEntry();
    keepSchedule();
}

void BackupPage::removeEntry()
{
    auto& state = session().state;
    if (!askBeforeDeleting(state.caption(Caption::AreYouSure)))
        return;
    const int index = entryBox->currentIndex();
    if (index < 0)
        return;
    // The schedule must not go on backing up an entry the user removed.
    if (entryBox->itemText(index) == state.selectedBackupEntry)
        state.selectedBackupEntry.clear();
    state.backupEntries.removeAt(index);
    entryBox->removeItem(index);
    showChosenEntry();
    keepSchedule();
}

void BackupPage::runBackup()
{
    const QString entry = entryBox->currentText();
    if (!entry.isEmpty())
        session().companions.shellStart(files::BackupTool, supervision::backupParameters(entry));
}

void BackupPage::chooseEntry()
{
    if (entryBox->currentText().isEmpty())
        return;
    session().state.selectedBackupEntry = entryBox->currentText();
    keepSchedule();
}

void BackupPage::chooseSchedule()
{
    auto& state = session().state;
    state.manualBackupFlag = manualChoice->isChecked();
    state.everyMinuteBackupFlag = everyMinuteChoice->isChecked();
    state.hourlyBackupFlag = hourlyChoice->isChecked();
    keepSchedule();
}

void BackupPage::toggleBackupFlag()
{
    session().state.backupPageCheckFlag = backupBox->isChecked();
}

} // namespace corvatek::pages
