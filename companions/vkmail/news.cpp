#include "news.h"

#include <algorithm>
#include <sys/stat.h>

namespace corvatek::vkmail {

std::int64_t nanoseconds(const timespec& time)
{
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t now()
{
    timespec time {};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return nanoseconds(time);
}

FolderTimes folderTimes(const std::string& folder)
{
    FolderTimes times;
    struct stat info { };
    if (::stat((folder + "/new").c_str(), &info) == 0)
        times.fresh = nanoseconds(info.st_mtim);
    if (::stat((folder + "/cur").c_str(), &info) == 0)
        times.seen = nanoseconds(info.st_mtim);
    return times;
}

bool changed(const Store& store, const Positions& positions)
{
    if (store.kind == StoreKind::Mbox) {
        const auto place = positions.mboxes.find(store.path);
        struct stat info { };
        if (::stat(store.path.c_str(), &info) != 0)
            return false;
        return place == positions.mboxes.end() || !place->second.complete || place->second.device != info.st_dev ||
            place->second.inode != info.st_ino || place->second.size != std::uint64_t(info.st_size) ||
            place->second.modified != nanoseconds(info.st_mtim);
    }
    const auto place = positions.maildirs.find(store.path);
    if (place == positions.maildirs.end() || !place->second.complete)
        return true;
    const FolderTimes times = folderTimes(store.path);
    return place->second.newModified != times.fresh || place->second.curModified != times.seen;
}

bool anythingNew(const std::vector<Store>& stores, const Positions& positions)
{
    return !positions.pending.empty() ||
        std::any_of(stores.begin(), stores.end(), [&](const Store& store) { return changed(store, positions); });
}

} // namespace corvatek::vkmail
