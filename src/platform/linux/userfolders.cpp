// The user's folders on Linux (XDG user directories) and the listing of and
// deletion from a folder that the cleanup and shortcut pages do. Deletion goes
// through a descriptor of the folder that was listed, by bare name, so that
// no link and no renamed folder can lead it anywhere else.
#include "platform/platform.h"

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
    const std::string text = [] {
        const int fd = ::open((xdg::configHome() + "/user-dirs.dirs").c_str(), O_RDONLY | O_CLOEXEC);
        std::string all;
        if (fd < 0)
            return all;
        char buffer[4096];
        for (ssize_t n; all.size() < 65536 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            all.append(buffer, std::size_t(n));
        ::close(fd);
        return all;
    }();
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

struct Folder {
    int fd = -1;
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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

std::string fileSystemRoot(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return "/";
    std::string current(real);
    std::free(real);
    struct stat info { };
    if (::stat(current.c_str(), &info) != 0)
        return "/";
    const dev_t device = info.st_dev;
    while (current != "/") {
        const auto slash = current.rfind('/');
        const std::string parent = slash == 0 ? "/" : current.substr(0, slash);
        if (::stat(parent.c_str(), &info) != 0 || info.st_dev != device)
            break;
        current = parent;
    }
    return current;
}

FolderFiles ordinaryFiles(const std::string& folder)
{
    FolderFiles files;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return files;
    struct stat info { };
    DIR* dir = ::fstat(fd, &info) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        ::close(fd);
        return files;
    }
    files.readable = true;
    files.device = info.st_dev;
    files.inode = info.st_ino;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        bool regular = entry->d_type == DT_REG;
        struct stat entryInfo { };
        if (entry->d_type == DT_UNKNOWN)
            regular = ::fstatat(fd, entry->d_name, &entryInfo, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entryInfo.st_mode);
        if (regular)
            files.names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(files.names.begin(), files.names.end());
    return files;
}

std::size_t deleteFromFolder(
    const std::string& folder, const FolderFiles& listed, const std::vector<std::string>& names)
{
    if (!listed.readable)
        return 0;
    const Folder dir {::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    struct stat info { };
    if (dir.fd < 0 || ::fstat(dir.fd, &info) != 0 || info.st_dev != listed.device || info.st_ino != listed.inode)
        return 0;
    std::size_t deleted = 0;
    for (const auto& name : names) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue;
        struct stat entry { };
        if (::fstatat(dir.fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(entry.st_mode))
            continue;
        if (::unlinkat(dir.fd, name.c_str(), 0) == 0)
            ++deleted;
    }
    return deleted;
}

} // namespace corvatek::platform
