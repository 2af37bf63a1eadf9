// The folder tree the backup and cleanup pages show: the folders of the file
// system, each read when it is opened, starting at the user's home folder.
#pragma once

#include <QString>

class QTreeView;

namespace corvatek::pages {

// Makes `view` (a control the page has just added) a folder tree; returns it.
QTreeView* showFolders(QTreeView* view);

// The full path of the folder selected in the tree; empty when none is.
QString selectedFolder(const QTreeView* view);

// Selects `path` in the tree, opening the folders above it.
void selectFolder(QTreeView* view, const QString& path);

} // namespace corvatek::pages
