// What the pages ask of the operating system, in the toolkit's terms: paths
// are QStrings in the file names' encoding. What a page lists and later
// deletes is kept as the system named it, so that the deletion reaches
// exactly what was listed.
#pragma once

#include "platform/filecontent.h"
#include "platform/userfolders.h"
#include "platform/volumes.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::shell {

using FileFacts = platform::FileFacts;
using FileKind = platform::FileKind;
using UserFolder = platform::UserFolder;
using Volume = platform::Volume;

// The files of one folder as they were listed, deleted only from that
// folder.
class ListedFiles {
public:
    bool readable() const { return files_.readable; }
    std::size_t size() const { return files_.names.size(); }
    // The names as listed, shown in the file names' encoding.
    QStringList names() const;
    // Deletes the files listed at `rows`, then the bare names `alsoNamed`:
    // never what a link points at, never a folder, and nothing at all when
    // another folder has taken the listed one's place.
    void remove(const std::vector<std::size_t>& rows, const QStringList& alsoNamed = {}) const;

private:
    friend class System;
    std::string folder_;
    platform::FolderFiles files_;
};

class System {
public:
    // The user's folder of that kind; empty when the system has none.
    QString userFolder(UserFolder kind) const;
    // The ordinary files of `folder`: no hidden file, link or folder.
    ListedFiles ordinaryFiles(const QString& folder) const;
    // The shortcuts on the user's desktop whose target surely cannot be had.
    ListedFiles brokenDesktopShortcuts() const;
    // Deletes the user's autostart entries whose program is surely gone,
    // never the suite's own.
    void removeDeadAutostartEntries() const;

    // Whether another program holds the file, or it cannot be opened to read.
    bool inUse(const QString& path) const;
    // Deletes each file that is not in use at that moment, through the
    // folder it is in, as ListedFiles::remove does: a link in its place goes
    // itself, a folder stays.
    void deleteFreeFiles(const QStringList& paths) const;
    // The argument as a companion's parameters must carry it to arrive as
    // one: quoted when it holds blanks.
    QString quoteArgument(const QString& argument) const;

    // The volumes a user would scan, the system's root first.
    std::vector<Volume> scannableVolumes() const;
    // The volume holding `path`, when it can be told.
    std::optional<Volume> volumeOf(const QString& path) const;
    // How the user and the scanner name the volume; the same as one argument
    // of a companion's parameters; its root folder.
    QString volumeName(const Volume& volume) const;
    QString volumeArgument(const Volume& volume) const;
    QString rootOf(const Volume& volume) const;
    // Still mounted and answering.
    bool volumeReadable(const Volume& volume) const;
    // Lists the root: true when it is still that volume and it could be.
    bool listVolumeRoot(const Volume& volume) const;

    // Safe on any thread, and with no session left: a page's reader may
    // outlive both.
    static FileFacts fileFacts(const QString& path);
};

} // namespace corvatek::shell
