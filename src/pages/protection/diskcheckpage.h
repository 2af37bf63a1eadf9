// The disk check page: runs the disk tool vkcheck.exe in three modes, each
// given a fixed time, and deletes the files the tool listed in liste2.txt
// that the user did not protect with a check mark.
#pragma once

#include "shell/page.h"

#include <QStringList>

#include <optional>

class QFileSystemModel;

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTreeView;

namespace corvatek::data {
class ProgramFiles;
}

namespace corvatek::pages {

class CheckListModel;

class DiskCheckPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void showSelectedPath();
    void takeChosenFolder();
    void checkDisk();
    void checkFolder();
    void listFiles();
    void deleteListedFiles();

    QLabel* statusLabel = nullptr;
    QListView* foundList = nullptr;
    CheckListModel* checkList = nullptr;
    QTreeView* folderTree = nullptr;
    QFileSystemModel* folders = nullptr;
    QLineEdit* folderField = nullptr;
    QPushButton* checkDiskButton = nullptr;
    QPushButton* checkFolderButton = nullptr;
    QPushButton* listFilesButton = nullptr;
    QPushButton* deleteFilesButton = nullptr;

    // The list refresh's reading of liste2.txt: the existing files it names,
    // doubled separators after a colon reduced, without those whose path
    // holds `chosenFolder`; nothing when the file cannot be had, `problem`
    // then saying why unless it is simply missing.
    static std::optional<QStringList> listedFiles(
        const data::ProgramFiles& files, const QString& chosenFolder, QString* problem = nullptr);
    // Fills the list from liste2.txt (the end of a mode 2 run).
    void refreshList();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setButtonsEnabled(bool enabled);
    void showStatus(Caption caption);
    // Starts the tool and waits `steps` fixed steps with the buttons off;
    // then notifies (when a text is given) and, unless the page was left
    // meanwhile, refreshes the list (when none is) and turns them back on.
    void runTool(const QString& parameters, int steps, const QString& notification);
};

} // namespace corvatek::pages
