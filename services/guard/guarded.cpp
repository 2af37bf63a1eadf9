#include "guarded.h"

#include "platform/volumes.h"

#include <cerrno>
#include <cstring>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace corvatek::guard {
namespace {

bool under(std::string_view path, std::string_view folder)
{
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.remove_suffix(1);
    return !folder.empty() && path.starts_with(folder) &&
        (path.size() == folder.size() || path[folder.size()] == '/' || folder == "/");
}

std::uint64_t maskFor(const GuardedUser& user)
{
    std::uint64_t mask = FAN_OPEN_EXEC_PERM; // programs are always checked before they run
    if (user.flag(8))
        mask |= FAN_OPEN_PERM;
    if (user.flag(1) || user.flag(2))
        mask |= FAN_CLOSE_WRITE;
    return mask;
}

} // namespace

std::string unguardable(const std::string& path)
{
    struct statfs system { };
    if (::statfs(path.c_str(), &system) != 0)
        return std::strerror(errno);
    // Marks on these see only what this machine does, not the server's or
    // the user-space file system's own changes.
    switch (static_cast<unsigned long>(system.f_type)) {
    case 0x6969: return "a network file system (NFS)";
    case 0xff534d42:
    case 0xfe534d42:
    case 0x517b: return "a network file system (SMB)";
    case 0x65735546: return "a FUSE file system";
    case 0x01021997: return "a 9P file system";
    case 0x00c36400: return "a network file system (Ceph)";
    case 0x5346414f: return "a network file system (AFS)";
    case 0x9fa0: return "the process file system";
    case 0x62656572: return "the system file system";
    default: return {};
    }
}

void Guarded::set(std::map<uid_t, GuardedUser> users)
{
    const std::lock_guard lock(mutex_);
    users_ = std::move(users);
}

bool Guarded::wants(Access access, uid_t opener, uid_t owner, std::string_view path) const
{
    const std::lock_guard lock(mutex_);
    for (const uid_t uid : {opener, owner}) {
        const auto found = users_.find(uid);
        if (found == users_.end())
            continue;
        const GuardedUser& user = found->second;
        switch (access) {
        case Access::Run: return true;
        case Access::Open:
            if (user.flag(8))
                return true;
            break;
        case Access::Written:
            if (user.flag(1))
                return true;
            if (user.flag(2))
                for (const std::string& folder : user.downloads)
                    if (under(path, folder))
                        return true;
            break;
        }
    }
    return false;
}

std::map<dev_t, Mark> Guarded::marks(std::map<uid_t, std::string>& unguarded) const
{
    std::map<uid_t, GuardedUser> users;
    {
        const std::lock_guard lock(mutex_);
        users = users_;
    }
    std::map<dev_t, Mark> marks;
    const auto add = [&](const std::string& path, std::uint64_t mask) {
        struct stat info { };
        if (::stat(path.c_str(), &info) != 0)
            return std::string(std::strerror(errno));
        if (std::string why = unguardable(path); !why.empty())
            return why;
        Mark& mark = marks[info.st_dev];
        if (mark.path.empty())
            mark.path = path;
        mark.mask |= mask;
        return std::string();
    };
    const std::vector<platform::Volume> volumes = platform::scannableVolumes();
    for (const auto& [uid, user] : users) {
        const std::uint64_t mask = maskFor(user);
        if (std::string why = add(user.home, mask); !why.empty())
            unguarded[uid] = "the home folder " + user.home + ": " + why;
        for (const platform::Volume& volume : volumes)
            if (!user.name.empty() &&
                (under(volume.root, "/media/" + user.name) || under(volume.root, "/run/media/" + user.name)))
                add(volume.root, mask);
    }
    return marks;
}

} // namespace corvatek::guard
