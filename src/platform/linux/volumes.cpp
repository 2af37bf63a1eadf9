// Volumes on Linux come from the mount table of this process's namespace.
// Its descriptor is flagged by the kernel whenever the table changes, so
// watching for arrivals costs nothing while nothing happens.
#include "platform/volumes.h"
#include "mounttable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

using mounts::MountEntry;

int openTable()
{
    int fd;
    do
        fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::optional<std::vector<MountEntry>> readTable(int fd)
{
    std::string text;
    if (fd < 0 || !mounts::readTable(fd, text))
        return std::nullopt;
    return mounts::parse(text);
}

std::optional<std::vector<MountEntry>> currentTable()
{
    const int fd = openTable();
    auto table = readTable(fd);
    if (fd >= 0)
        ::close(fd);
    return table;
}

Volume volumeFrom(const MountEntry& entry)
{
    return {entry.mountPoint, makedev(entry.major, entry.minor)};
}

// Whether `root` (the opened root folder) is still the volume. Files in a
// btrfs subvolume carry the subvolume's own device number, not the one the
// mount table shows; when the numbers differ the table decides.
bool isVolume(const Volume& volume, int root)
{
    struct stat status { };
    if (::fstat(root, &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    if (status.st_dev == volume.device)
        return true;
    const auto table = currentTable();
    const MountEntry* entry = table ? mounts::holding(*table, volume.root) : nullptr;
    return entry && entry->mountPoint == volume.root && makedev(entry->major, entry->minor) == volume.device;
}

int openRoot(const Volume& volume, int access)
{
    if (!volume.root.starts_with('/'))
        return -1;
    int fd;
    do
        fd = ::open(volume.root.c_str(), access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

std::vector<Volume> scannableVolumes()
{
    std::vector<Volume> volumes;
    if (const auto table = currentTable()) {
        for (const auto& entry : mounts::scannable(*table, mounts::isLocalBlockDevice))
            volumes.push_back(volumeFrom(entry));
    }
    return volumes;
}

std::optional<Volume> volumeOf(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return std::nullopt;
    const auto table = currentTable();
    const MountEntry* entry = table ? mounts::holding(*table, resolved) : nullptr;
    if (!entry)
        return std::nullopt;
    return volumeFrom(*entry);
}

bool volumeReadable(const Volume& volume)
{
    // O_PATH: the volume may answer though this user may not list its root.
    const int root = openRoot(volume, O_PATH);
    if (root < 0)
        return false;
    struct statvfs information { };
    const bool readable = isVolume(volume, root) && ::fstatvfs(root, &information) == 0;
    ::close(root);
    return readable;
}

bool listVolumeRoot(const Volume& volume)
{
    const int root = openRoot(volume, O_RDONLY);
    if (root < 0)
        return false;
    if (!isVolume(volume, root)) {
        ::close(root);
        return false;
    }
    DIR* folder = ::fdopendir(root);
    if (!folder) {
        ::close(root);
        return false;
    }
    // readdir tells the end from a failure only through errno.
    errno = 0;
    while (::readdir(folder))
        errno = 0;
    const bool listed = errno == 0;
    ::closedir(folder);
    return listed;
}

struct VolumeArrivals::State {
    int fd = -1;
    std::vector<MountEntry> known;
};

VolumeArrivals::VolumeArrivals() : state_(new State)
{
    state_->fd = openTable();
    auto table = readTable(state_->fd);
    if (table) {
        state_->known = std::move(*table);
    } else if (state_->fd >= 0) {
        // Without what is mounted now, all of it would look arrived.
        ::close(state_->fd);
        state_->fd = -1;
    }
}

VolumeArrivals::~VolumeArrivals()
{
    if (state_->fd >= 0)
        ::close(state_->fd);
    delete state_;
}

int VolumeArrivals::descriptor() const
{
    return state_->fd;
}

std::vector<Volume> VolumeArrivals::takeArrivals()
{
    auto table = readTable(state_->fd);
    if (!table)
        return {};
    std::vector<Volume> arrived;
    for (const auto& entry : mounts::arrivals(state_->known, *table, mounts::isLocalBlockDevice))
        arrived.push_back(volumeFrom(entry));
    state_->known = std::move(*table);
    return arrived;
}

std::string volumeName(const Volume& volume)
{
    return volume.root;
}

} // namespace corvatek::platform
