// The files of the program folder: flag and list files, and table files.
// Every file is the program folder plus a bare file name. Writes replace a
// file whole and atomically under the shared-file lock, so a crash or a full
// disk leaves the old file or the new one, never a broken one.
#pragma once

#include "data/table.h"
#include "data/tables.h"
#include "data/textlines.h"
#include "localisation/language.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

namespace corvatek::data {

// How long a reader or writer waits for a file a companion holds. Past it the
// operation is abandoned with an error and no file changes.
inline constexpr std::chrono::milliseconds kFileFreeTimeout {4000};

struct FileWaitPolicy {
    std::chrono::milliseconds timeout = kFileFreeTimeout;
    std::function<void()> whileWaiting; // e.g. keeps a window painted
};

// Busy: another program holds the file past the wait. Unopenable: it cannot
// be opened at all (a folder in its place, no permission, read-only for a
// write); callers leave both as they are.
enum class FileStatus { Ok, Missing, Busy, Unopenable, Unreadable, WriteFailed };

struct FileResult {
    FileStatus status = FileStatus::Ok;
    QString error; // for the user; empty when ok
    bool ok() const { return status == FileStatus::Ok; }
};

struct TableLoad : FileResult {
    Table table;
    // Set when ensureTable moved an unreadable file aside: where, and why it
    // could not be read.
    QString keptAsidePath;
    QString unreadable;
};

// How much of a file of each kind is read at the most: a file larger than
// that is no such file, and is refused rather than read.
inline constexpr qsizetype kFlagFileLimit = 4 * 1024;
inline constexpr qsizetype kListFileLimit = 64 * 1024 * 1024;
inline constexpr qsizetype kLanguageFileLimit = 256 * 1024;

struct BytesRead : FileResult {
    QByteArray bytes;
};

struct LinesRead : FileResult {
    TextLines lines;
};

struct FlagRead : FileResult {
    std::optional<QString> value; // line 1; nothing when the file is missing, refused or empty
};

class ProgramFiles {
public:
    explicit ProgramFiles(QString folder, FileWaitPolicy policy = {});

    const QString& folder() const { return folder_; }
    // The language what went wrong is told in (English until set).
    void setLanguage(localisation::Language language) { language_ = language; }
    localisation::Language language() const { return language_; }
    // How long a file a companion holds is waited for.
    std::chrono::milliseconds fileWait() const { return policy_.timeout; }
    QString path(QStringView fileName) const { return QString(folder_).append(fileName); }
    bool exists(QStringView fileName) const;

    // ---- Flag and list files: 8-bit text, one item per line, CR LF.
    // Every file from outside is read so: never blocking, regular files only,
    // within the bound of its kind; a long one keeps the window painted.
    // Missing is the status of a file that does not exist.
    BytesRead readBytes(QStringView fileName, qsizetype limit) const;
    LinesRead readLines(QStringView fileName) const;
    FlagRead readFlag(QStringView fileName) const;
    FileResult writeLines(QStringView fileName, const QStringList& lines) const;
    FileResult writeFlag(QStringView fileName, const QString& value) const { return writeLines(fileName, {value}); }
    // Brings the file to exactly these lines, leaving it untouched when it
    // already holds them (start-up resets files that mostly need nothing).
    // Whatever is in its place that is no regular file is replaced.
    FileResult resetLines(QStringView fileName, const QStringList& lines) const;

    // Waits until the file is free, then reads its lines under the lock.
    LinesRead readLinesWhenFree(QStringView fileName) const;

    // ---- Table files.
    TableLoad loadTable(TableId id) const { return loadTable(schemaOf(id).fileName); }
    TableLoad loadTable(QStringView fileName) const { return loadTable(fileName, policy_.timeout); }
    // With a wait of its own, for callers that must not hold the window long.
    TableLoad loadTable(QStringView fileName, std::chrono::milliseconds wait) const;
    FileResult saveTable(TableId id, const Table& table) const { return saveTable(schemaOf(id).fileName, table); }
    FileResult saveTable(QStringView fileName, const Table& table) const;
    // Writes the file with its fields and default rows.
    FileResult createTable(TableId id) const { return saveTable(id, defaultTable(id)); }
    // Loads the table; a missing file is created with its defaults, and an
    // unreadable one is first kept aside under a new name, so nothing a
    // companion wrote is destroyed. A busy file is left as it is.
    TableLoad ensureTable(TableId id, const QDateTime& now) const { return ensureTable(id, now, policy_.timeout); }
    TableLoad ensureTable(TableId id, const QDateTime& now, std::chrono::milliseconds wait) const;
    // Renames the file to "<name>.unreadable-<yyyyMMdd-hhmmss>"; returns the
    // new path, or nothing when the rename failed.
    std::optional<QString> keepAside(QStringView fileName, const QDateTime& now) const;
    // Keeps the file aside, then writes the defaults in its place. Nothing is
    // written over a file that could not be kept aside.
    FileResult replaceWithDefaults(TableId id, const QDateTime& now, QString* keptAsidePath = nullptr) const;

    // Removes what saves killed midway left beside their files.
    void removeUnfinishedSaves() const;

    // Writes bytes atomically under the lock (used by both kinds of file). A
    // pipe or a device in the file's place, or a link to one, is replaced.
    FileResult replaceFile(QStringView fileName, const QByteArray& bytes) const;
    // The same with the content made piece by piece while it is written
    // (each piece in turn, then an empty one).
    FileResult replaceFileInPieces(QStringView fileName, const std::function<std::string_view()>& next) const;
    // Reads and rewrites the file under one hold of its lock: `change` gets
    // what the file holds (nothing for an absent file) and returns the new
    // content, or nothing to leave the file as it is.
    FileResult updateFile(QStringView fileName,
        const std::function<std::optional<QByteArray>(const QByteArray&)>& change,
        std::chrono::milliseconds wait) const;

private:
    QString folder_;
    FileWaitPolicy policy_;
    localisation::Language language_ = localisation::Language::English;
};

// Splits 8-bit text into lines ended by CR LF, LF or CR.
QStringList splitLines(const QString& text);

} // namespace corvatek::data
