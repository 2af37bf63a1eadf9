// The user's folders on Linux (XDG user directories) and the listing of and
// deletion from a folder that the cleanup and shortcut pages do. Deletion goes
// through a descriptor of the folder that was listed, by bare name, so that
// no link and no renamed folder can lead it anywhere else.
#include "platform/userfolders.h"

#include "desktopentry.h"
#include "folderentries.h"
#include "xdg.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

// A value of user-dirs.dirs: "$HOME/<path>" or an absolute path, in quotes.
// Nothing when the key is not there; empty when its value is unusable.
std::optional<std::string> userDirsValue(const std::string& key)
{
    const std::string text = desktop::readSmallFile(xdg::configHome() + "/user-dirs.dirs").value_or(std::string());
    const std::string prefix = key + "=\"";
    for (std::size_t start = 0; start < text.size();) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.rfind("$HOME", 0) == 0)
            value = xdg::home() + value.substr(5);
        else if (value.empty() || value.front() != '/')
            return std::string();
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value;
    }
    return std::nullopt;
}

} // namespace

std::string userFolder(UserFolder kind)
{
    const char* key = kind == UserFolder::Desktop ? "XDG_DESKTOP_DIR" : "XDG_DOWNLOAD_DIR";
    if (kind == UserFolder::Cookies || xdg::home().empty())
        return {};
    const auto configured = userDirsValue(key);
    if (!configured)
        return xdg::home() + (kind == UserFolder::Desktop ? "/Desktop" : "/Downloads");
    const std::string& folder = *configured;
    // Set to the home folder, the downloads folder is switched off; the
    // desktop then is the home folder.
    if (kind == UserFolder::Downloads && folder == xdg::home())
        return {};
    return folder;
}

FolderFiles ordinaryFiles(const std::string& folder)
{
    FolderFiles files;
    const folders::Descriptor dir(folders::open(folder, files));
    files.readable = dir.get() >= 0 && folders::forEachEntry(dir.get(), [&](const char* name, unsigned char type) {
        struct stat info { };
        if (name[0] != '.' &&
            (type == DT_REG ||
                (type == DT_UNKNOWN && ::fstatat(dir.get(), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(info.st_mode))))
            files.names.emplace_back(name);
    });
    std::sort(files.names.begin(), files.names.end());
    return files;
}

FolderFiles folderIdentity(const std::string& folder)
{
    FolderFiles identity;
    const folders::Descriptor dir(folders::open(folder, identity));
    identity.readable = dir.get() >= 0;
    return identity;
}

std::size_t deleteFromFolder(
    const std::string& folder, const FolderFiles& listed, const std::vector<std::string>& names)
{
    FolderFiles now;
    const folders::Descriptor dir(folders::open(folder, now));
    if (!listed.readable || dir.get() < 0 || now.device != listed.device || now.inode != listed.inode)
        return 0;
    std::size_t deleted = 0;
    for (const auto& name : names) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue;
        struct stat entry { };
        if (::fstatat(dir.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(entry.st_mode))
            continue;
        if (::unlinkat(dir.get(), name.c_str(), 0) == 0)
            ++deleted;
    }
    return deleted;
}

} // namespace corvatek::platform
