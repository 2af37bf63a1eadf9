#include "data/programfiles.h"

#include "localisation/texts.h"

#include "data/datapacket.h"
#include "data/textcodec.h"
#include "platform/filecontent.h"
#include "platform/files.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

namespace corvatek::data {
namespace {

std::string native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

using localisation::Language;
using localisation::Text;

QString kindName(Language language, platform::FileKind kind)
{
    switch (kind) {
    case platform::FileKind::Folder: return localisation::text(language, Text::KindFolder);
    case platform::FileKind::Pipe: return localisation::text(language, Text::KindPipe);
    case platform::FileKind::CharacterDevice:
    case platform::FileKind::BlockDevice: return localisation::text(language, Text::KindDevice);
    case platform::FileKind::Socket: return localisation::text(language, Text::KindSocket);
    default: return localisation::text(language, Text::KindOther);
    }
}

QString sizeText(qsizetype bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024))
                                : QStringLiteral("%1 KiB").arg(bytes / 1024);
}

// The one way outside data is read: what the platform found, worded for the
// user with the file's path.
BytesRead bytesRead(Language language, const QString& path, platform::FileRead&& read, qsizetype limit)
{
    BytesRead result;
    switch (read.status) {
    case platform::FileRead::Ok:
        result.bytes = QByteArray(read.bytes.data(), qsizetype(read.bytes.size()));
        read.bytes = {}; // at most one copy of a long file at a time
        break;
    case platform::FileRead::Missing:
        result.status = FileStatus::Missing;
        result.error = localisation::text(language, Text::FileMissing, {path});
        break;
    case platform::FileRead::NotRegular:
        result.status = FileStatus::Unreadable;
        result.error = localisation::text(language, Text::FileNotAFile, {path, kindName(language, read.kind)});
        break;
    case platform::FileRead::TooLarge:
        result.status = FileStatus::Unreadable;
        result.error = localisation::text(language, Text::FileTooLarge, {path, sizeText(limit)});
        break;
    case platform::FileRead::Failed:
        result.status = FileStatus::Unreadable;
        result.error =
            localisation::text(language, Text::FileUnreadable, {path, QString::fromLocal8Bit(read.reason)});
        break;
    }
    return result;
}

// Tables are the suite's own and may be large: their reader bounds them.
constexpr qsizetype kTableFileLimit = std::numeric_limits<qsizetype>::max() / 2;

BytesRead readHeld(
    Language language, const QString& path, int fd, qsizetype limit, const std::function<void()>& betweenBlocks = {})
{
    return bytesRead(language, path, platform::readRegularFile(fd, std::size_t(limit), betweenBlocks), limit);
}

// Why a file could not be had: another program holds it, or it cannot be
// opened at all (for a write: a read-only file), which no wait would change.
FileResult lockFailure(
    Language language, const QString& path, const platform::FileLock::Outcome& outcome, platform::LockMode mode)
{
    if (outcome.unusable.empty())
        return {FileStatus::Busy, localisation::text(language, Text::FileInUse, {path})};
    return {FileStatus::Unopenable,
        localisation::text(language,
            mode == platform::LockMode::Write ? Text::FileNotOpenedForWriting : Text::FileNotOpened,
            {path, QString::fromLocal8Bit(outcome.unusable)})};
}

platform::FileLock::Outcome acquire(
    const QString& path, platform::LockMode mode, std::chrono::milliseconds wait, const FileWaitPolicy& policy)
{
    return platform::FileLock::acquire(native(path), mode, wait, policy.whileWaiting);
}

// Content that is whole already, given as the one piece it is.
platform::FilePieces whole(const QByteArray& bytes)
{
    return platform::wholePiece(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

// Replaces the file whose lock the caller holds: the new content is written
// beside it and renamed over it, so a reader sees the old file or the new one.
FileResult replaceHeld(Language language, const QString& target, const platform::FilePieces& next)
{
    const auto failed = platform::replaceFileContents(native(target), next);
    if (failed)
        return {FileStatus::WriteFailed,
            localisation::text(language, Text::FileNotSaved, {target, QString::fromLocal8Bit(*failed)})};
    return {};
}

} // namespace

ProgramFiles::ProgramFiles(QString folder, FileWaitPolicy policy)
    : folder_(std::move(folder)), policy_(std::move(policy))
{
    if (!folder_.isEmpty() && !folder_.endsWith(QLatin1Char('/')))
        folder_ += QLatin1Char('/');
}

bool ProgramFiles::exists(QStringView fileName) const
{
    return QFileInfo::exists(path(fileName));
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

BytesRead ProgramFiles::readBytes(QStringView fileName, qsizetype limit) const
{
    const QString target = path(fileName);
    return bytesRead(language_, target, platform::readRegularFile(native(target), std::size_t(limit), policy_.whileWaiting), limit);
}

LinesRead ProgramFiles::readLines(QStringView fileName) const
{
    BytesRead bytes = readBytes(fileName, kListFileLimit);
    LinesRead read;
    static_cast<FileResult&>(read) = bytes;
    read.lines = TextLines(std::move(bytes.bytes));
    return read;
}

FlagRead ProgramFiles::readFlag(QStringView fileName) const
{
    BytesRead bytes = readBytes(fileName, kFlagFileLimit);
    FlagRead read;
    static_cast<FileResult&>(read) = bytes;
    const TextLines lines(std::move(bytes.bytes));
    if (!lines.isEmpty())
        read.value = lines.first();
    return read;
}

namespace {

QByteArray linesToBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace

FileResult ProgramFiles::writeLines(QStringView fileName, const QStringList& lines) const
{
    return replaceFile(fileName, linesToBytes(lines));
}

FileResult ProgramFiles::resetLines(QStringView fileName, const QStringList& lines) const
{
    const QByteArray bytes = linesToBytes(lines);
    // Read no further than the new content: a longer file differs anyway.
    const BytesRead current = readBytes(fileName, bytes.size());
    if (current.ok() && current.bytes == bytes)
        return {};
    return replaceFile(fileName, bytes);
}

FileResult ProgramFiles::replaceFile(QStringView fileName, const QByteArray& bytes) const
{
    return replaceFileInPieces(fileName, whole(bytes));
}

FileResult ProgramFiles::replaceFileInPieces(QStringView fileName, const std::function<std::string_view()>& next) const
{
    const QString target = path(fileName);
    // Held on the file being replaced until the new one is in place, so a
    // companion that follows the lock never reads a half-written file.
    const auto held = acquire(target, platform::LockMode::Write, policy_.timeout, policy_);
    if (!held.lock) {
        // Nobody can hold a pipe or a device; the rename puts a regular file
        // in its place (in place of a link, never through it).
        const auto kind = platform::fileFacts(native(target)).kind;
        if (!held.unusable.empty() && kind != platform::FileKind::Regular && kind != platform::FileKind::Folder &&
            kind != platform::FileKind::Missing)
            return replaceHeld(language_, target, next);
        return lockFailure(language_, target, held, platform::LockMode::Write);
    }
    return replaceHeld(language_, target, next);
}

FileResult ProgramFiles::updateFile(QStringView fileName,
    const std::function<std::optional<QByteArray>(const QByteArray&)>& change, std::chrono::milliseconds wait) const
{
    const QString target = path(fileName);
    const auto held = acquire(target, platform::LockMode::Write, wait, policy_);
    if (!held.lock)
        return lockFailure(language_, target, held, platform::LockMode::Write);
    BytesRead current;
    if (held.lock->descriptor() >= 0)
        current = readHeld(language_, target, held.lock->descriptor(), kListFileLimit);
    if (!current.ok())
        return current;
    const auto changed = change(current.bytes);
    if (!changed)
        return {};
    return replaceHeld(language_, target, whole(*changed));
}

void ProgramFiles::removeUnfinishedSaves() const
{
    platform::removeUnfinishedReplacements(native(folder_));
}

LinesRead ProgramFiles::readLinesWhenFree(QStringView fileName) const
{
    LinesRead read;
    const QString target = path(fileName);
    const auto held = acquire(target, platform::LockMode::Read, policy_.timeout, policy_);
    if (!held.lock) {
        static_cast<FileResult&>(read) = lockFailure(language_, target, held, platform::LockMode::Read);
        return read;
    }
    if (held.lock->descriptor() < 0) {
        read.status = FileStatus::Missing;
        read.error = localisation::text(language_, Text::FileMissing, {target});
        return read;
    }
    BytesRead bytes = readHeld(language_, target, held.lock->descriptor(), kListFileLimit, policy_.whileWaiting);
    static_cast<FileResult&>(read) = bytes;
    read.lines = TextLines(std::move(bytes.bytes));
    return read;
}

TableLoad ProgramFiles::loadTable(QStringView fileName, std::chrono::milliseconds wait) const
{
    TableLoad load;
    const QString target = path(fileName);
    const auto held = acquire(target, platform::LockMode::Read, wait, policy_);
    if (!held.lock) {
        static_cast<FileResult&>(load) = lockFailure(language_, target, held, platform::LockMode::Read);
        return load;
    }
    const auto& lock = held.lock;
    if (lock->descriptor() < 0) {
        load.status = FileStatus::Missing;
        load.error = localisation::text(language_, Text::FileMissing, {target});
        return load;
    }
    BytesRead bytes = readHeld(language_, target, lock->descriptor(), kTableFileLimit);
    if (!bytes.ok()) {
        static_cast<FileResult&>(load) = bytes;
        return load;
    }
    auto packet = readDataPacket(bytes.bytes);
    if (!packet.table) {
        load.status = FileStatus::Unreadable;
        load.error = localisation::text(language_, Text::TableUnreadable, {target, packet.error});
        return load;
    }
    load.table = std::move(*packet.table);
    return load;
}

FileResult ProgramFiles::saveTable(QStringView fileName, const Table& table) const
{
    auto pieces = DataPacketPieces::of(table);
    if (!pieces)
        return {FileStatus::WriteFailed,
            localisation::text(language_, Text::TableNamesUnwritable, {path(fileName)})};
    return replaceFileInPieces(fileName, [&pieces] { return pieces->next(); });
}

std::optional<QString> ProgramFiles::keepAside(QStringView fileName, const QDateTime& now) const
{
    const QString base =
        path(fileName) + QStringLiteral(".unreadable-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = base + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path(fileName), aside))
        return std::nullopt;
    return aside;
}

FileResult ProgramFiles::replaceWithDefaults(TableId id, const QDateTime& now, QString* keptAsidePath) const
{
    const QString& fileName = schemaOf(id).fileName;
    const auto aside = keepAside(fileName, now);
    if (!aside)
        return {FileStatus::WriteFailed,
            localisation::text(language_, Text::TableNotKeptAside, {path(fileName)})};
    if (keptAsidePath)
        *keptAsidePath = *aside;
    return createTable(id);
}

TableLoad ProgramFiles::ensureTable(TableId id, const QDateTime& now, std::chrono::milliseconds wait) const
{
    TableLoad load = loadTable(schemaOf(id).fileName, wait);
    if (load.status == FileStatus::Ok || load.status == FileStatus::Busy || load.status == FileStatus::Unopenable)
        return load;
    if (load.status == FileStatus::Unreadable)
        load.unreadable = load.error;
    const FileResult written =
        load.status == FileStatus::Unreadable ? replaceWithDefaults(id, now, &load.keptAsidePath) : createTable(id);
    static_cast<FileResult&>(load) = written;
    load.table = defaultTable(id);
    return load;
}

} // namespace corvatek::data
