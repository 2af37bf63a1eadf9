// The modification watch page: the files in which the companions record the
// modifications they watch (names matching "*mod*.txt"), shown and deleted on
// request, and the four family members that choose what the guard watches.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace corvatek::pages {

class ModificationsPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void showChosenFile();
    void deleteChosenFile();

    QPushButton* showFileButton = nullptr;
    QPushButton* deleteFileButton = nullptr;
    QPlainTextEdit* contentBox = nullptr;
    QCheckBox* watchSystemFilesBox = nullptr;
    QCheckBox* watchSettingsFilesBox = nullptr;
    QCheckBox* watchAutostartBox = nullptr;
    QCheckBox* watchProcessesBox = nullptr;
    QListWidget* fileList = nullptr;

private:
    // The chosen file's name; empty when no file is chosen.
    QString chosenName() const;
};

} // namespace corvatek::pages
