#include "pages/tools/backuppage.h"

#include "data/filenames.h"
#include "pages/controls.h"
#include "pages/foldertree.h"
#include "shell/mainwindow.h"

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
    state.selectedBackupEntry.clear();
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
    entryBox->addItem(source + QLatin1Char(';') + destination);
    // Shown text and selected entry never differ: the list shows nothing
    // until the user picks an entry.
    entryBox->setCurrentIndex(-1);
}

void BackupPage::removeEntry()
{
    auto& state = session().state;
    if (!session().seams.askYesNo(&window(), state.caption(Caption::AreYouSure)))
        return;
    const int index = entryBox->currentIndex();
    if (index < 0)
        return;
    // The schedule must not go on backing up an entry the user removed.
    if (entryBox->itemText(index) == state.selectedBackupEntry)
        state.selectedBackupEntry.clear();
    entryBox->removeItem(index);
    entryBox->setCurrentIndex(-1);
}

void BackupPage::runBackup()
{
    const QString entry = entryBox->currentText();
    if (!entry.isEmpty())
        session().companions.shellStart(files::BackupTool, companions::backupParameters(entry));
}

void BackupPage::chooseEntry()
{
    if (!entryBox->currentText().isEmpty())
        session().state.selectedBackupEntry = entryBox->currentText();
}

void BackupPage::chooseSchedule()
{
    auto& state = session().state;
    state.manualBackupFlag = manualChoice->isChecked();
    state.everyMinuteBackupFlag = everyMinuteChoice->isChecked();
    state.hourlyBackupFlag = hourlyChoice->isChecked();
}

void BackupPage::toggleBackupFlag()
{
    session().state.backupPageCheckFlag = backupBox->isChecked();
}

} // namespace corvatek::pages
