// Desktop shortcuts and autostart entries on Linux. Both are judged by what
// can be known for certain: only a target or program that is surely missing
// makes a shortcut broken or an autostart entry dead.
#include "platform/shortcuts.h"
#include "platform/files.h"

#include "desktopentry.h"
#include "folderentries.h"
#include "xdg.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

using desktop::Presence;

bool endsWith(std::string_view text, std::string_view ending)
{
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

std::string percentDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hex = [](char c) {
            return c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'  ? c - 'a' + 10
                : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                        : -1;
        };
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            decoded += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// A ".desktop" file on the desktop: broken only when it surely leads nowhere.
bool brokenEntry(const std::string& path)
{
    const auto text = desktop::readSmallFile(path);
    const auto keys = text ? desktop::parse(*text) : std::nullopt;
    if (!keys)
        return false; // not an entry we can judge
    const auto value = [&](const char* key) {
        const auto found = keys->find(key);
        return found == keys->end() ? std::string() : found->second;
    };
    const std::string type = value("Type");
    if (type == "Application") {
        const std::string exec = value("Exec");
        return !exec.empty() && desktop::presenceOfCommand(exec) == Presence::Missing;
    }
    if (type == "Link") {
        std::string url = value("URL");
        if (url.rfind("file://", 0) == 0) {
            url = percentDecoded(url.substr(7));
            if (url.rfind("localhost/", 0) == 0)
                url.erase(0, 9);
        }
        if (url.empty() || url.front() != '/')
            return false; // a web address or another host: nothing to check here
        return desktop::presenceOfPath(url) == Presence::Missing;
    }
    return false;
}

// Whether a system-wide autostart entry of this name exists, or might.
bool hidesSystemEntry(const std::string& name)
{
    const std::string own = xdg::configHome();
    for (const auto& folder : xdg::configDirs()) {
        struct stat info { };
        if (folder != own &&
            (::stat((folder + "/autostart/" + name).c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR)))
            return true;
    }
    return false;
}

// A user's entry that switches the system's entry of its name off.
std::string hiddenEntry(const std::string& title)
{
    std::string escaped;
    for (const char c : title)
        escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return "[Desktop Entry]\nType=Application\nName=" + escaped + "\nHidden=true\n";
}

} // namespace

FolderFiles brokenShortcuts(const std::string& folder)
{
    FolderFiles broken;
    const folders::Descriptor dir(folders::open(folder, broken));
    const int fd = dir.get();
    broken.readable = fd >= 0 && folders::forEachEntry(fd, [&](const char* name, unsigned char) {
        if (name[0] == '.')
            return;
        struct stat info { };
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return;
        const std::string path = folder + "/" + name;
        bool isBroken = false;
        if (S_ISLNK(info.st_mode)) {
            // A loop or a missing target: the target cannot be obtained.
            const bool found = ::stat(path.c_str(), &info) == 0;
            isBroken = !found && (errno == ELOOP || desktop::presenceOfPath(path) == Presence::Missing);
            if (found && S_ISREG(info.st_mode) && endsWith(name, ".desktop"))
                isBroken = brokenEntry(path);
        } else if (S_ISREG(info.st_mode) && endsWith(name, ".desktop")) {
            isBroken = brokenEntry(path);
        }
        if (isBroken)
            broken.names.emplace_back(name);
    });
    std::sort(broken.names.begin(), broken.names.end());
    return broken;
}

std::vector<std::string> removeDeadAutostartEntries(const std::string& keepName)
{
    std::vector<std::string> removed;
    const std::string folder = xdg::autostartFolder();
    FolderFiles identity;
    const folders::Descriptor dir(folders::open(folder, identity));
    const int fd = dir.get();
    if (fd < 0)
        return removed;
    std::vector<std::pair<std::string, std::string>> dead; // file name, the entry's Name
    folders::forEachEntry(fd, [&](const char* name, unsigned char) {
        if (!endsWith(name, ".desktop") || name == keepName + ".desktop")
            return;
        const auto text = desktop::readSmallFile(folder + "/" + name);
        const auto keys = text ? desktop::parse(*text) : std::nullopt;
        if (!keys)
            return;
        const auto hidden = keys->find("Hidden");
        const auto exec = keys->find("Exec");
        if ((hidden != keys->end() && hidden->second == "true") || exec == keys->end())
            return;
        // Only an argument of its own: a program may be named autoRun.
        std::string command = exec->second;
        if (endsWith(command, " /autoRun") || endsWith(command, "\t/autoRun"))
            command.erase(command.size() - 9);
        if (command.empty() || desktop::presenceOfCommand(command) != Presence::Missing)
            return;
        const auto title = keys->find("Name");
        dead.emplace_back(name, title == keys->end() ? std::string() : title->second);
    });
    for (const auto& [name, title] : dead) {
        // Without the user's entry the system's entry of that name would
        // start at the next log-on.
        const bool done = hidesSystemEntry(name)
            ? !replaceFileContents(
                  folder + "/" + name, hiddenEntry(title.empty() ? name.substr(0, name.size() - 8) : title))
            : ::unlinkat(fd, name.c_str(), 0) == 0;
        if (done)
            removed.push_back(name.substr(0, name.size() - 8));
    }
    return removed;
}

} // namespace corvatek::platform
