#include "common/companion.h"

#include "platform/datafolder.h"
#include "platform/system.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace corvatek::companion {
namespace {

constexpr qsizetype kLogLimit = 256 * 1024;

} // namespace

QString programFolder()
{
    return QFile::decodeName(QByteArray::fromStdString(platform::dataFolder().path));
}

QString userDataFolder()
{
    return QFile::decodeName(QByteArray::fromStdString(platform::userDataFolder()));
}

QByteArray appendedLog(const QByteArray& current, const QByteArray& entry)
{
    QByteArray text = current + entry;
    if (text.size() > kLogLimit) {
        // Whole lines only: cut after the first line end past the excess,
        // but never into the new line, whatever the old ones were.
        const qsizetype cut = text.indexOf('\n', text.size() - kLogLimit);
        const qsizetype kept = cut < 0 || cut + 1 > current.size() ? current.size() : cut + 1;
        text.remove(0, kept);
    }
    return text;
}

bool log(const data::ProgramFiles& files, QStringView name, const QString& line)
{
    return log(files, name, QStringList {line});
}

bool log(const data::ProgramFiles& files, QStringView name, const QStringList& lines)
{
    QByteArray entry;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // A file name may hold a line end: it must not start a forged line.
        QString text = lines.at(i);
        for (QChar& c : text) {
            if (c.category() == QChar::Other_Control)
                c = u'?';
        }
        entry += (i == 0 ? QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ' : QByteArray("    ")) +
            text.toUtf8() + "\r\n";
    }
    // A link or anything else planted at the log's name is replaced, and
    // what it leads to is never copied into the log.
    struct stat info { };
    const bool planted = ::lstat(QFile::encodeName(files.path(name)).constData(), &info) == 0 && !S_ISREG(info.st_mode);
    const auto appended = [&entry, planted](const QByteArray& current) -> std::optional<QByteArray> {
        return appendedLog(planted ? QByteArray() : current, entry);
    };
    return files.updateFile(name, appended, files.fileWait()).ok();
}

} // namespace corvatek::companion
