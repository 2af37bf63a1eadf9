// The cleanup page: two folders shown as lists of their ordinary files, each
// emptied of those files and of its "index.dat" on request.
#pragma once

#include "shell/page.h"
#include "shell/system.h"

#include <functional>

class QCheckBox;
class QLabel;
class QListView;
class QPushButton;
class QStringListModel;
class QTreeView;

namespace corvatek::pages {

// The ordinary files of one folder as they were read: what a clean deletes,
// and only from that folder.
class FileList : public QObject {
    Q_OBJECT
public:
    FileList(const shell::System& system, QListView* view);
    // Reads `folder`; one that cannot be read leaves the list as it was.
    bool show(const QString& folder);
    // Deletes the listed files and the folder's "index.dat", calling
    // `betweenBatches` now and then; the list stays.
    void clean(const std::function<void()>& betweenBatches);
    const QString& folder() const { return folder_; }
    QStringList names() const;

private:
    const shell::System& system_;
    QListView* view_;
    QStringListModel* model_;
    QString folder_;
    shell::ListedFiles files_;
};

class CleanupPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void showLeftFolder();
    void showRightFolder();
    void cleanLeftFolder();
    void cleanRightFolder();

    QCheckBox* tempFilesBox = nullptr;
    QTreeView* leftTree = nullptr;
    QTreeView* rightTree = nullptr;
    FileList* leftFiles = nullptr;
    FileList* rightFiles = nullptr;
    QPushButton* cleanLeftButton = nullptr;
    QPushButton* cleanRightButton = nullptr;

private:
    void clean(FileList* list);
};

} // namespace corvatek::pages
