// The mount table as /proc/self/mountinfo shows it, and the rules that pick
// the volumes a user scans and the ones that arrive. The rules are pure, so
// that they can be checked on any table without mounting anything.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::platform::mounts {

struct MountEntry {
    int id = 0;
    int parent = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root; // the part of the file system mounted, "/" for all of it
    std::string mountPoint;
    std::string fileSystem;
    std::string source; // e.g. "/dev/sdb1", "server:/export", "tmpfs"
};

// The entries in table order, escapes decoded; lines that are not well
// formed are left out.
std::vector<MountEntry> parse(std::string_view mountinfoText);

using DevicePredicate = std::function<bool(const MountEntry&)>;

// The mounts of `after` that are volumes newly attached since `before`: a
// whole local block-device file system on a device not mounted before. A
// disc put into an optical drive is a media change, no arrival.
std::vector<MountEntry> arrivals(const std::vector<MountEntry>& before, const std::vector<MountEntry>& after,
    const DevicePredicate& isLocalBlockDevice);

// The root file system first, whatever it is, then every other whole local
// block-device volume that can be reached, each device once.
std::vector<MountEntry> scannable(const std::vector<MountEntry>& entries, const DevicePredicate& isLocalBlockDevice);

// The mount that holds `path` (absolute, without links, "." or ".."): the
// longest mount point containing it, the one mounted last when stacked.
const MountEntry* holding(const std::vector<MountEntry>& entries, std::string_view path);

// Whether the mount's source is a block device here. Optical drives count:
// a disc is worth scanning, it just never arrives.
bool isLocalBlockDevice(const MountEntry& entry);

// /proc/self/mountinfo read to its end through `fd`; false when it fails.
bool readTable(int fd, std::string& text);

// The mount points an /etc/fstab text lists, escapes decoded; "/" and
// anything not absolute (swap) are left out.
std::vector<std::string> fstabMountPoints(std::string_view fstabText);

// Whether `path` (absolute, links followed) lies where a volume comes and
// goes while none is mounted there now: below a mount point of
// `fstabPoints` that nothing is mounted at or below, or below /media,
// /run/media or /mnt with nothing mounted below that folder on the way.
bool onAbsentVolume(
    std::string_view path, const std::vector<std::string>& fstabPoints, const std::vector<MountEntry>& mounted);

} // namespace corvatek::platform::mounts
