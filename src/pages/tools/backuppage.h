// The backup page: pairs of a source and a destination folder, handed to
// vksave.exe at once or on the schedule the status monitor keeps.
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

class Tpanel16 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void ShellTreeView4DblClick();
    void ShellTreeView5DblClick();
    void BitBtn27Click();
    void BitBtn28Click();
    void BitBtn29Click();
    void Combobox11Select();
    void ScheduleRadioClick();
    void CheckBox15Click();

    QCheckBox* CheckBox15 = nullptr;
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
    QComboBox* Combobox11 = nullptr; // the entries
    QPushButton* BitBtn27 = nullptr; // add
    QPushButton* BitBtn28 = nullptr; // remove
    QPushButton* BitBtn29 = nullptr; // run now
};

} // namespace corvatek::pages
