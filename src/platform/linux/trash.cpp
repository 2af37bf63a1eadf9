// The user's trash as freedesktop.org lays it out: the home trash
// and, on each mounted local volume, .Trash/<uid> (under a sticky, unlinked
// .Trash) or .Trash-<uid>. Each has "files" with the trashed items and
// "info" with one "<name>.trashinfo" per item. Deletion never follows a link
// and never enters a mount.
#include "platform/trash.h"

#include "folderentries.h"
#include "mounttable.h"
#include "xdg.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvatek::platform {
namespace {

// Deeper trees are left as they are rather than hold a descriptor a level.
constexpr int kDeepestTree = 200;

int openFolderAt(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

using MountId = std::optional<std::uint64_t>;

// The mount the open file lies on; nothing when it cannot be told. Only
// compared between descriptors held open, so no mount can go meanwhile and
// pass its number on.
MountId mountOf(int fd)
{
#ifdef STATX_MNT_ID
    struct statx info { };
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &info) == 0 &&
        (info.stx_mask & STATX_MNT_ID))
        return info.stx_mnt_id;
#endif
    // Kernels before 5.8 tell it only in the descriptor's fdinfo.
    char name[64];
    std::snprintf(name, sizeof name, "/proc/self/fdinfo/%d", fd);
    const folders::Descriptor file(::open(name, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return std::nullopt;
    char text[4096];
    std::size_t size = 0;
    for (ssize_t got = 1; got > 0 && size < sizeof text - 1; size += std::size_t(got)) {
        got = ::read(file.get(), text + size, sizeof text - 1 - size);
        if (got < 0)
            return std::nullopt;
    }
    const std::string_view fields(text, size);
    constexpr std::string_view key = "mnt_id:";
    std::size_t at = fields.find(key);
    while (at != std::string_view::npos && at > 0 && fields[at - 1] != '\n')
        at = fields.find(key, at + 1);
    if (at == std::string_view::npos)
        return std::nullopt;
    text[size] = '\0';
    char* end = nullptr;
    errno = 0;
    const unsigned long long id = std::strtoull(text + at + key.size(), &end, 10);
    if (errno != 0 || end == text + at + key.size() || (*end != '\n' && *end != '\0'))
        return std::nullopt;
    return id;
}

// Calls the caller back now and then while a large trash is emptied.
class Pacer {
public:
    explicit Pacer(const std::function<void()>& callback) : callback_(callback) { }
    void step()
    {
        if (!callback_ || std::chrono::steady_clock::now() < next_)
            return;
        callback_();
        next_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    }

private:
    const std::function<void()>& callback_;
    std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
};

// Removes `name` from `parent`, which lies on `mount`: a folder with all it
// holds. True when it is gone. A folder on another mount stays with what it
// holds, and so do the folders that hold it: a bind mount of a folder of the
// same file system has the same device, so only the mount tells.
bool removeTree(int parent, const MountId& mount, const std::string& name, Pacer& pacer, int depth = 0)
{
    pacer.step();
    struct stat info { };
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT;
    if (depth >= kDeepestTree || !mount)
        return false;
    {
        // Checked once open, so a mount made after the look stays out too.
        const folders::Descriptor folder(openFolderAt(parent, name.c_str()));
        if (folder.get() < 0 || mountOf(folder.get()) != mount)
            return false;
        for (const auto& inner : folders::names(folder.get()))
            removeTree(folder.get(), mount, inner, pacer, depth + 1);
    }
    return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

void empty(int trash, TrashOutcome& outcome, Pacer& pacer)
{
    const folders::Descriptor files(openFolderAt(trash, "files"));
    const folders::Descriptor info(openFolderAt(trash, "info"));
    if (files.get() < 0 && info.get() < 0)
        return;
    const MountId mount = files.get() >= 0 ? mountOf(files.get()) : std::nullopt;
    std::set<std::string> described;
    if (info.get() >= 0) {
        for (const auto& entry : folders::names(info.get())) {
            constexpr std::string_view suffix = ".trashinfo";
            if (entry.size() <= suffix.size() ||
                entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
                continue;
            const std::string item = entry.substr(0, entry.size() - suffix.size());
            if (item == "." || item == "..")
                continue; // names no item, and would name the trash itself
            described.insert(item);
            // An item that stays keeps its entry, so it can still be restored.
            if ((files.get() < 0 || removeTree(files.get(), mount, item, pacer)) &&
                ::unlinkat(info.get(), entry.c_str(), 0) == 0)
                ++outcome.deleted;
            else
                ++outcome.kept;
        }
    }
    if (files.get() >= 0) {
        for (const auto& item : folders::names(files.get())) {
            if (described.count(item))
                continue; // kept above
            if (removeTree(files.get(), mount, item, pacer))
                ++outcome.deleted;
            else
                ++outcome.kept;
        }
    }
    ::unlinkat(trash, "directorysizes", 0);
}

// The trash folders of one volume's top folder that belong to this user.
std::vector<std::string> volumeTrashes(const std::string& top)
{
    std::vector<std::string> found;
    const std::string uid = std::to_string(::getuid());
    const std::string base = top == "/" ? std::string() : top;
    struct stat info { };
    const std::string shared = base + "/.Trash";
    if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX))
        found.push_back(shared + "/" + uid);
    const std::string own = base + "/.Trash-" + uid;
    if (::lstat(own.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
        found.push_back(own);
    return found;
}

} // namespace

std::vector<std::string> trashFolders()
{
    std::vector<std::string> trashes {xdg::dataHome() + "/Trash"};
    // Local volumes only: a network file system that stopped answering would
    // hold the window.
    const int table = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    std::string text;
    if (table >= 0 && mounts::readTable(table, text)) {
        for (const auto& entry : mounts::parse(text)) {
            if (entry.root == "/" && mounts::isLocalBlockDevice(entry)) {
                for (auto& trash : volumeTrashes(entry.mountPoint))
                    trashes.push_back(std::move(trash));
            }
        }
    }
    if (table >= 0)
        ::close(table);
    return trashes;
}

TrashOutcome emptyTrash(const std::vector<std::string>& folders, const std::function<void()>& betweenItems)
{
    TrashOutcome outcome;
    Pacer pacer(betweenItems);
    std::set<std::pair<dev_t, ino_t>> emptied; // a trash reached twice is emptied once
    for (const auto& path : folders) {
        const folders::Descriptor trash(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info { };
        if (trash.get() < 0 || ::fstat(trash.get(), &info) != 0 || !emptied.insert({info.st_dev, info.st_ino}).second)
            continue;
        empty(trash.get(), outcome, pacer);
    }
    return outcome;
}

} // namespace corvatek::platform
