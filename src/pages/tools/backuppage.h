// The backup page: pairs of a source and a destination folder, handed to
// vksave.exe at once or on the schedule the status monitor keeps. The pairs,
// the chosen one and the schedule are kept in their file across runs.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace corvatek::pages {

class BackupPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void takeSourceFolder();
    void takeDestinationFolder();
    void addEntry();
    void removeEntry();
    void runBackup();
    void chooseEntry();
    void chooseSchedule();
    void toggleBackupFlag();

    QCheckBox* backupBox = nullptr;
    QTreeView* sourceTree = nullptr;
    QTreeView* destinationTree = nullptr;
    QLabel* sourceLabel = nullptr;
    QLabel* destinationLabel = nullptr;
    QLineEdit* sourceField = nullptr;
    QLineEdit* destinationField = nullptr;
    QGroupBox* scheduleBox = nullptr;
    QRadioButton* manualChoice = nullptr;
    QRadioButton* everyMinuteChoice = nullptr;
    QRadioButton* hourlyChoice = nullptr;
    QComboBox* entryBox = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* runButton = nullptr;

private:
    void showChosenEntry();
    // Saves the entries and the schedule; a failed save is told.
    bool keepSchedule();
};

} // namespace corvatek::pages
