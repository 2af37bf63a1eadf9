#include "folderwatch.h"

#include "platform/linux/folderentries.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::vkguard {
namespace {

// ~/.config of a busy desktop holds a few hundred; past this many the
// system's own watch limit would be at stake.
constexpr std::size_t kMostWatches = 2000;

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The entries of a folder, each with whether it is a folder.
std::vector<std::pair<std::string, bool>> entriesOf(const std::string& path)
{
    std::vector<std::pair<std::string, bool>> entries;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return entries;
    platform::folders::forEachEntry(fd, [&](const char* name, unsigned char type) {
        struct stat info { };
        const bool folder = type == DT_DIR ||
            (type == DT_UNKNOWN && ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode));
        entries.emplace_back(name, folder);
    });
    ::close(fd);
    return entries;
}

} // namespace

FolderWatch::FolderWatch(std::uint32_t mask)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), mask_(mask | IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF)
{
}

FolderWatch::~FolderWatch()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void FolderWatch::reset()
{
    for (const auto& [wd, entry] : entries_)
        ::inotify_rm_watch(fd_, wd);
    entries_.clear();
}

void FolderWatch::watch(std::vector<Wanted> wanted)
{
    reset();
    wanted_ = std::move(wanted);
    std::stable_sort(wanted_.begin(), wanted_.end(), [](const Wanted& a, const Wanted& b) { return a.role > b.role; });
    refresh(nullptr);
}

bool FolderWatch::isWanted(const std::string& path) const
{
    return std::any_of(wanted_.begin(), wanted_.end(), [&path](const Wanted& wanted) { return wanted.path == path; });
}

bool FolderWatch::add(const std::string& path, int role, bool withSubfolders, const Handler* appeared)
{
    if (fd_ < 0 || entries_.size() >= kMostWatches)
        return false;
    const int wd = ::inotify_add_watch(fd_, path.c_str(), mask_ | IN_ONLYDIR);
    if (wd < 0)
        return false;
    Entry& entry = entries_[wd];
    const bool fresh = entry.role < 0;
    if (fresh || role > entry.role) {
        // A folder only waited through so far takes the name it is wanted by.
        if (fresh)
            entry.path = path;
        entry.role = role;
    }
    entry.withSubfolders = entry.withSubfolders || withSubfolders;
    if (!fresh || (!appeared && !withSubfolders))
        return true;
    for (const auto& [name, folder] : entriesOf(path)) {
        const std::string inside = path + "/" + name;
        if (appeared)
            (*appeared)({inside, role, IN_CREATE | (folder ? IN_ISDIR : 0u), true});
        if (folder && withSubfolders && !isWanted(inside))
            add(inside, role, false, appeared);
    }
    return true;
}

void FolderWatch::waitFor(const std::string& path)
{
    for (std::string above = parentOf(path);; above = parentOf(above)) {
        const int wd = fd_ < 0 ? -1 : ::inotify_add_watch(fd_, above.c_str(), mask_ | IN_ONLYDIR);
        if (wd >= 0) {
            Entry& entry = entries_[wd];
            if (entry.path.empty())
                entry.path = above;
            return;
        }
        if (above == "/")
            return;
    }
}

void FolderWatch::refresh(const Handler* appeared)
{
    // wanted_ is in falling order of role: a folder wanted twice is first
    // watched, and its entries told, for the higher.
    for (const Wanted& wanted : wanted_) {
        if (!add(wanted.path, wanted.role, wanted.withSubfolders, appeared))
            waitFor(wanted.path);
    }
}

void FolderWatch::read(const Handler& handle)
{
    alignas(inotify_event) char buffer[64 * 1024];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const auto found = entries_.find(event->wd);
            if (found == entries_.end())
                continue;
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // Gone, or elsewhere now: watched again once its name holds a folder.
                ::inotify_rm_watch(fd_, event->wd);
                entries_.erase(found);
                changed = true;
                continue;
            }
            if (event->len == 0)
                continue;
            const Entry entry = found->second;
            const std::string path = entry.path + "/" + event->name;
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                changed = true;
                // A subfolder wanted itself is watched for its own sake.
                if (entry.withSubfolders && entry.role >= 0 && !isWanted(path)) {
                    handle({path, entry.role, event->mask});
                    add(path, entry.role, false, &handle);
                    continue;
                }
            }
            if (entry.role >= 0)
                handle({path, entry.role, event->mask});
        }
    }
    if (changed)
        refresh(&handle);
}

} // namespace corvatek::vkguard
