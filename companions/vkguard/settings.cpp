#include "settings.h"

#include "data/filenames.h"
#include "data/values.h"
#include "platform/linux/xdg.h"
#include "platform/userfolders.h"

#include <algorithm>

namespace corvatek::vkguard {
namespace {

// Long enough for the control centre's own save, short enough that the
// client starts at once; a busy file is read again a second later.
constexpr std::chrono::milliseconds kTableWait {1000};

void setFlags(Guarding& settings, const data::Table& table)
{
    for (int n = 1; n <= int(settings.flags.size()); ++n) {
        const int field = table.fieldIndex(data::fieldName(n));
        settings.flags[std::size_t(n - 1)] = field >= 0 && table.rowCount() > 0 &&
            valueOf<Switch>(table.value(0, field).toStdString()) == Switch::On;
    }
}

void addOnce(std::vector<std::string>& folders, const std::string& folder)
{
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(folder);
}

// An absolute folder, else empty.
std::string absolute(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return !folder.empty() && folder.front() == '/' ? folder : std::string();
}

std::string homeFolder()
{
    return absolute(platform::xdg::home());
}

// The user's configuration folder; empty when neither it nor the home
// folder is known, so that no folder of the system is taken for it.
std::string configFolder()
{
    const std::string set = absolute(platform::xdg::environment("XDG_CONFIG_HOME"));
    if (!set.empty())
        return set;
    const std::string home = homeFolder();
    return home.empty() ? home : home + "/.config";
}

} // namespace

SettingsRead readSettings(const data::ProgramFiles& files, const Guarding* inForce)
{
    SettingsRead read;
    Guarding& settings = read.settings;
    const data::TableLoad load =
        files.loadTable(data::schemaOf(data::TableId::Configuration).fileName, kTableWait);
    read.busy = load.status == data::FileStatus::Busy;
    if (load.ok())
        setFlags(settings, load.table);
    else if (read.busy && inForce)
        settings.flags = inForce->flags;
    else
        setFlags(settings, data::defaultTable(data::TableId::Configuration));
    const data::FlagRead level = files.readFlag(files::ProtectionLevel);
    const auto stored = level.value ? valueOf<ProtectionLevel>(level.value->toStdString()) : std::nullopt;
    settings.level = int(stored.value_or(ProtectionLevel::Normal));
    settings.downloads = platform::userFolder(platform::UserFolder::Downloads);
    return read;
}

std::string flagsText(const Guarding& settings)
{
    std::string text;
    for (const bool on : settings.flags)
        text += on ? '1' : '0';
    return text;
}

std::vector<std::string> scanFolders(const Guarding& settings)
{
    std::vector<std::string> folders;
    if (settings.flag(flag::ScanOnWrite) || settings.flag(flag::ScanDownloads))
        addOnce(folders, settings.downloads);
    if (settings.flag(flag::ScanOnWrite)) {
        addOnce(folders, platform::userFolder(platform::UserFolder::Desktop));
        addOnce(folders, homeFolder());
    }
    return folders;
}

std::vector<WatchedFolder> watchedFolders(const Guarding& settings)
{
    std::vector<WatchedFolder> folders;
    if (settings.flag(flag::SystemFiles)) {
        for (const char* folder : {"/etc", "/usr/bin", "/usr/sbin"})
            folders.push_back({folder, Watched::System});
    }
    const std::string config = configFolder();
    if (settings.flag(flag::SettingsFiles) && !config.empty())
        folders.push_back({config, Watched::Settings, true});
    if (settings.flag(flag::Autostart)) {
        if (!config.empty()) {
            folders.push_back({config + "/autostart", Watched::Autostart});
            folders.push_back({config + "/systemd/user", Watched::Autostart});
        }
        for (const std::string& system : platform::xdg::configDirs())
            folders.push_back({system + "/autostart", Watched::Autostart});
    }
    return folders;
}

} // namespace corvatek::vkguard
