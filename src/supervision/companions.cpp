#include "supervision/companions.h"

#include "data/filenames.h"
#include "platform/commandline.h"
#include "platform/processes.h"
#include "platform/system.h"

#include <QFile>

namespace corvatek::supervision {
namespace {

std::string native(QStringView text)
{
    return text.toString().toStdString();
}

} // namespace

Companions::Companions(QString programFolder, QString installFolder)
    : folder_(std::move(programFolder)), installFolder_(installFolder == folder_ ? QString() : std::move(installFolder))
{
}

const QString& Companions::folderOf(QStringView name) const
{
    if (installFolder_.isEmpty() || QFile::exists(QString(folder_).append(name)))
        return folder_;
    return QFile::exists(QString(installFolder_).append(name)) ? installFolder_ : folder_;
}

bool Companions::shellStart(QStringView executableName, const QString& parameters) const
{
    return platform::shellStart(
        QFile::encodeName(QString(folderOf(executableName)).append(executableName)).toStdString(), native(parameters));
}

bool Companions::consoleStart(const QString& commandLine) const
{
    const std::string line = native(commandLine);
    const auto words = platform::splitCommandLine(line);
    const QString& folder = folderOf(words.empty() ? QString() : QString::fromStdString(words.front()));
    return platform::consoleStart(line, QFile::encodeName(folder).toStdString());
}

bool Companions::isRunning(QStringView executableName) const
{
    return platform::isRunning(native(executableName));
}

bool Companions::stop(QStringView executableName) const
{
    return platform::terminateByName(native(executableName));
}

void Companions::stopAll(const QStringList& executableNames) const
{
    std::vector<std::string> names;
    for (const QString& name : executableNames)
        names.push_back(native(name));
    platform::terminateByNames(names);
}

ProcessSnapshot Companions::snapshot() const
{
    ProcessSnapshot snapshot;
    for (const auto& process : platform::processList()) {
        snapshot.names.append(QString::fromStdString(process.name));
        snapshot.ids.append(QString::number(process.id));
    }
    return snapshot;
}

QString backupParameters(const QString& entry)
{
    return QString::fromStdString(platform::quoteArgument(entry.toStdString()));
}

QString notificationText(const QString& text)
{
    QString converted = text;
    converted.replace(QLatin1Char(' '), QLatin1Char(';'));
    return converted;
}

void Companions::notify(const QString& text, ProtectionLevel level) const
{
    if (level == ProtectionLevel::Low)
        return;
    shellStart(files::Notifier, notificationText(text));
}

namespace {

QStringList namesOf(std::initializer_list<files::FileName> names)
{
    QStringList list;
    for (const files::FileName name : names)
        list.append(QStringView(name).toString());
    return list;
}

} // namespace

QStringList stoppedAtStart()
{
    using namespace files;
    return namesOf({DiskTool, Guard, SiteLookup, NetworkTool, MailFilter, BackupTool, Updater, Reachability});
}

QStringList stoppedAtEnd()
{
    using namespace files;
    QStringList names = namesOf({DiskTool, Scanner, Guard, SiteLookup, NetworkTool, MailFilter, BackupTool, Updater});
    names << QString::fromStdString(platform::networkStatisticsToolName()) << QStringView(Reachability).toString();
    return names;
}

QStringList stoppedByQuit()
{
    using namespace files;
    return namesOf({Guard, Scanner, DiskTool, SiteLookup, NetworkTool, Updater, Host, Reachability});
}

} // namespace corvatek::supervision
