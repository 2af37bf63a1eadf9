// Folders on the tools pages: the folder tree the backup and cleanup pages
// show (the folders of the file system, each read when it is opened,
// starting at the user's home folder), and the names of a folder's files.
#pragma once

#include "platform/platform.h"

#include <QStringList>

class QTreeView;

namespace corvatek::pages {

// The names as read, shown in the file names' encoding.
QStringList fileNames(const platform::FolderFiles& files);

// Makes `view` (a control the page has just added) a folder tree; returns it.
QTreeView* showFolders(QTreeView* view);

// The full path of the folder selected in the tree; empty when none is.
QString selectedFolder(const QTreeView* view);

// Selects `path` in the tree, opening the folders above it.
void selectFolder(QTreeView* view, const QString& path);

} // namespace corvatek::pages
