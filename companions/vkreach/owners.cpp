#include "owners.h"

#include "platform/linux/procscan.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace corvatek::vkreach {
namespace {

// "socket:[12345]" is the link of a socket's descriptor.
std::optional<std::uint64_t> socketInode(std::string_view link)
{
    constexpr std::string_view head = "socket:[";
    if (link.size() <= head.size() + 1 || link.substr(0, head.size()) != head || link.back() != ']')
        return std::nullopt;
    std::uint64_t inode = 0;
    for (const char c : link.substr(head.size(), link.size() - head.size() - 1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        inode = inode * 10 + std::uint64_t(c - '0');
    }
    return inode;
}

template<typename Map, typename Keep> void keepOnly(Map& map, const Keep& keep)
{
    for (auto it = map.begin(); it != map.end();) {
        if (keep(*it))
            ++it;
        else
            it = map.erase(it);
    }
}

} // namespace

Owners::Owners() : proc_(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) { }

Owners::~Owners()
{
    if (proc_ >= 0)
        ::close(proc_);
}

bool Owners::stillHolds(const Holder& holder, std::uint64_t inode) const
{
    char path[64];
    std::snprintf(path, sizeof path, "%d/fd/%d", holder.id, holder.fd);
    char link[64];
    const ssize_t n = ::readlinkat(proc_, path, link, sizeof link);
    return n > 0 && socketInode(std::string_view(link, std::size_t(n))) == inode;
}

std::unordered_map<std::uint64_t, std::string> Owners::programsOf(const std::vector<std::uint64_t>& inodes)
{
    std::unordered_map<std::uint64_t, std::string> programs;
    if (proc_ < 0)
        return programs;
    ++round_;
    const std::unordered_set<std::uint64_t> listed(inodes.begin(), inodes.end());
    keepOnly(held_, [&](const auto& entry) { return listed.count(entry.first) != 0; });
    keepOnly(sought_, [&](const auto& entry) { return listed.count(entry.first) != 0; });

    // A known holder costs one link read; one that let go makes every
    // process a candidate again (a worker may hold what its parent made).
    std::unordered_map<int, std::vector<std::uint64_t>> byHolder;
    for (const std::uint64_t inode : listed) {
        const auto held = held_.find(inode);
        if (held != held_.end()) {
            if (stillHolds(held->second, inode)) {
                byHolder[held->second.id].push_back(inode);
                continue;
            }
            held_.erase(held);
            sought_[inode] = round_;
        } else {
            sought_.try_emplace(inode, round_);
        }
    }
    unsigned newest = 0;
    for (const auto& [inode, since] : sought_)
        newest = std::max(newest, since);

    platform::procfs::forEachProcess([&](const platform::procfs::ScannedProcess& process) {
        auto [entry, added] = looked_.try_emplace(process.id);
        Looked& looked = entry->second;
        if (added || looked.shortName != process.shortName) {
            looked.round = 0; // another process, or one that ran another program
            looked.shortName = process.shortName;
        }
        looked.seen = round_;
        std::string name;
        const auto holds = byHolder.find(process.id);
        if (holds != byHolder.end()) {
            name = platform::procfs::completeName(process);
            for (const std::uint64_t inode : holds->second)
                programs[inode] = name;
        }
        if (sought_.empty() || looked.round >= newest)
            return true;
        looked.round = round_;
        char path[64];
        std::snprintf(path, sizeof path, "%s/fd", process.idText);
        const int folder = ::openat(proc_, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* entries = folder >= 0 ? ::fdopendir(folder) : nullptr;
        if (!entries) {
            if (folder >= 0)
                ::close(folder);
            return true; // another user's, or gone
        }
        while (const dirent* fd = ::readdir(entries)) {
            char link[64];
            const ssize_t n = ::readlinkat(::dirfd(entries), fd->d_name, link, sizeof link);
            if (n <= 0)
                continue;
            const auto inode = socketInode(std::string_view(link, std::size_t(n)));
            if (!inode || sought_.erase(*inode) == 0)
                continue;
            held_[*inode] = {process.id, std::atoi(fd->d_name)};
            if (name.empty())
                name = platform::procfs::completeName(process);
            programs[*inode] = name;
            if (sought_.empty())
                break;
        }
        ::closedir(entries);
        return true;
    });
    keepOnly(looked_, [&](const auto& entry) { return entry.second.seen == round_; });
    return programs;
}

} // namespace corvatek::vkreach
