#include "shell/system.h"

#include "platform/commandline.h"
#include "platform/files.h"
#include "platform/shortcuts.h"
#include "shell/trayhost.h"

#include <QFile>
#include <QFileInfo>

#include <map>

namespace corvatek::shell {
namespace {

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

QStringList ListedFiles::names() const
{
    QStringList names;
    names.reserve(qsizetype(files_.names.size()));
    for (const auto& name : files_.names)
        names.append(QFile::decodeName(QByteArray::fromRawData(name.data(), qsizetype(name.size()))));
    return names;
}

void ListedFiles::remove(const std::vector<std::size_t>& rows, const QStringList& alsoNamed) const
{
    std::vector<std::string> chosen;
    chosen.reserve(rows.size() + std::size_t(alsoNamed.size()));
    for (const std::size_t row : rows)
        chosen.push_back(files_.names.at(row));
    for (const QString& name : alsoNamed)
        chosen.push_back(encoded(name));
    platform::deleteFromFolder(folder_, files_, chosen);
}

QString System::userFolder(UserFolder kind) const
{
    return QFile::decodeName(platform::userFolder(kind).c_str());
}

ListedFiles System::ordinaryFiles(const QString& folder) const
{
    ListedFiles listed;
    listed.folder_ = encoded(folder);
    listed.files_ = platform::ordinaryFiles(listed.folder_);
    return listed;
}

ListedFiles System::brokenDesktopShortcuts() const
{
    // The folder's own bytes, not a decoded copy: a name the encoding cannot
    // show must still lead to the same folder.
    ListedFiles listed;
    listed.folder_ = platform::userFolder(UserFolder::Desktop);
    listed.files_ = platform::brokenShortcuts(listed.folder_);
    return listed;
}

void System::removeDeadAutostartEntries() const
{
    platform::removeDeadAutostartEntries(kAutostartName);
}

bool System::inUse(const QString& path) const
{
    return platform::fileInUse(encoded(path), platform::LockMode::Read);
}

void System::deleteFreeFiles(const QStringList& paths) const
{
    // Each folder is opened once, for which folder it is (never listed); its
    // files are then deleted through it by bare name.
    std::map<QString, platform::FolderFiles> folders;
    for (const QString& path : paths) {
        if (inUse(path))
            continue;
        const QFileInfo file(path);
        const QString folder = file.absolutePath();
        auto known = folders.find(folder);
        if (known == folders.end())
            known = folders.emplace(folder, platform::folderIdentity(encoded(folder))).first;
        platform::deleteFromFolder(encoded(folder), known->second, {encoded(file.fileName())});
    }
}

QString System::quoteArgument(const QString& argument) const
{
    return QString::fromStdString(platform::quoteArgument(argument.toStdString()));
}

std::vector<Volume> System::scannableVolumes() const
{
    return platform::scannableVolumes();
}

std::optional<Volume> System::volumeOf(const QString& path) const
{
    return platform::volumeOf(encoded(path));
}

QString System::volumeName(const Volume& volume) const
{
    return QString::fromStdString(platform::volumeName(volume));
}

QString System::volumeArgument(const Volume& volume) const
{
    return QString::fromStdString(platform::quoteArgument(platform::volumeName(volume)));
}

QString System::rootOf(const Volume& volume) const
{
    return QString::fromStdString(volume.root);
}

bool System::volumeReadable(const Volume& volume) const
{
    return platform::volumeReadable(volume);
}

bool System::listVolumeRoot(const Volume& volume) const
{
    return platform::listVolumeRoot(volume);
}

FileFacts System::fileFacts(const QString& path)
{
    return platform::fileFacts(encoded(path));
}

} // namespace corvatek::shell
