#include "common/companion.h"

#include "platform/platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

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

bool log(const data::ProgramFiles& files, QStringView name, const QString& line)
{
    // A file name may hold a line end: it must not start a forged line.
    QString text = line;
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    const QByteArray entry = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ' + text.toUtf8() + "\r\n";
    const auto appended = [&entry](const QByteArray& current) -> std::optional<QByteArray> {
        QByteArray text = current + entry;
        if (text.size() > kLogLimit) {
            // Whole lines only: cut after the first line end past the excess.
            const qsizetype cut = text.indexOf('\n', text.size() - kLogLimit);
            text.remove(0, cut < 0 ? text.size() - entry.size() : cut + 1);
        }
        return text;
    };
    return files.updateFile(name, appended, files.fileWait()).ok();
}

} // namespace corvatek::companion
