#include "pages/tools/backuppage.h"

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

void Tpanel16::build()
{
    auto& state = session().state;

    CheckBox15 = add<QCheckBox>(state.caption(99));
    CheckBox15->setGeometry(16, 32, 129, 17);
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
    const auto choice = [&](int caption, int top) {
        auto* button = addTo<QRadioButton>(scheduleBox, state.caption(caption));
        button->setGeometry(8, top, 121, 21);
        connect(button, &QRadioButton::clicked, this, &Tpanel16::ScheduleRadioClick);
        return button;
    };
    manualChoice = choice(29, 8);
    everyMinuteChoice = choice(100, 32);
    hourlyChoice = choice(101, 64);
    // The schedule in force, which outlives the page: showing "manual only"
    // while another fires would mislead.
    (state.hourlyBackupFlag               ? hourlyChoice
            : state.everyMinuteBackupFlag ? everyMinuteChoice
                                          : manualChoice)
        ->setChecked(true);

    Combobox11 = add<QComboBox>();
    Combobox11->setGeometry(24, 252, 233, 19);
    BitBtn27 = placeButton(add<QPushButton>(state.caption(14)), {32, 282, 75, 25}, Glyph::Ok);
    BitBtn28 = placeButton(add<QPushButton>(state.caption(15)), {120, 282, 75, 25}, Glyph::Ok);
    BitBtn29 = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {200, 282, 75, 25}, Glyph::Ok);

    connect(CheckBox15, &QCheckBox::clicked, this, &Tpanel16::CheckBox15Click);
    connect(sourceTree, &QTreeView::doubleClicked, this, &Tpanel16::ShellTreeView4DblClick);
    connect(destinationTree, &QTreeView::doubleClicked, this, &Tpanel16::ShellTreeView5DblClick);
    connect(Combobox11, &QComboBox::activated, this, &Tpanel16::Combobox11Select);
    connect(BitBtn27, &QPushButton::clicked, this, &Tpanel16::BitBtn27Click);
    connect(BitBtn28, &QPushButton::clicked, this, &Tpanel16::BitBtn28Click);
    connect(BitBtn29, &QPushButton::clicked, this, &Tpanel16::BitBtn29Click);

    CheckBox15->setChecked(state.backupPageCheckFlag);
    state.selectedBackupEntry.clear();
}

void Tpanel16::ShellTreeView4DblClick()
{
    sourceField->setText(selectedFolder(sourceTree));
}

void Tpanel16::ShellTreeView5DblClick()
{
    destinationField->setText(selectedFolder(destinationTree));
}

void Tpanel16::BitBtn27Click()
{
    const QString source = sourceField->text();
    const QString destination = destinationField->text();
    // A relative path would name a folder of wherever the program was started.
    const auto isFolder = [](const QString& path) { return QFileInfo(path).isAbsolute() && QFileInfo(path).isDir(); };
    if (!isFolder(source) || !isFolder(destination))
        return;
    Combobox11->addItem(source + QLatin1Char(';') + destination);
    // Shown text and selected entry never differ: the list shows nothing
    // until the user picks an entry.
    Combobox11->setCurrentIndex(-1);
}

void Tpanel16::BitBtn28Click()
{
    auto& state = session().state;
    if (!session().seams.askYesNo(&window(), state.caption(65)))
        return;
    const int index = Combobox11->currentIndex();
    if (index < 0)
        return;
    // The schedule must not go on backing up an entry the user removed.
    if (Combobox11->itemText(index) == state.selectedBackupEntry)
        state.selectedBackupEntry.clear();
    Combobox11->removeItem(index);
    Combobox11->setCurrentIndex(-1);
}

void Tpanel16::BitBtn29Click()
{
    const QString entry = Combobox11->currentText();
    if (!entry.isEmpty())
        session().companions.shellStart(QStringLiteral("vksave.exe"), companions::backupParameters(entry));
}

void Tpanel16::Combobox11Select()
{
    if (!Combobox11->currentText().isEmpty())
        session().state.selectedBackupEntry = Combobox11->currentText();
}

void Tpanel16::ScheduleRadioClick()
{
    auto& state = session().state;
    state.manualBackupFlag = manualChoice->isChecked();
    state.everyMinuteBackupFlag = everyMinuteChoice->isChecked();
    state.hourlyBackupFlag = hourlyChoice->isChecked();
}

void Tpanel16::CheckBox15Click()
{
    session().state.backupPageCheckFlag = CheckBox15->isChecked();
}

} // namespace corvatek::pages
