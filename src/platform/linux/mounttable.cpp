#include "mounttable.h"

#include <cerrno>
#include <charconv>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace corvatek::platform::mounts {
namespace {

// The SCSI CD-ROM driver: a disc put into a drive is a media change.
constexpr unsigned kOpticalMajor = 11;

// The kernel writes blank, tab, newline and backslash as \ooo.
std::string unescape(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            text.push_back(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            text.push_back(field[i]);
        }
    }
    return text;
}

template<typename Number> bool toNumber(std::string_view text, Number& value)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool parseLine(std::string_view line, MountEntry& entry)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos)
            break;
        start = blank + 1;
    }
    // id parent maj:min root mount-point options [optional...] - type source super-options
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-")
        ++separator;
    if (separator + 3 >= fields.size())
        return false;
    const auto colon = fields[2].find(':');
    if (colon == std::string_view::npos || !toNumber(fields[0], entry.id) || !toNumber(fields[1], entry.parent) ||
        !toNumber(fields[2].substr(0, colon), entry.major) || !toNumber(fields[2].substr(colon + 1), entry.minor))
        return false;
    entry.root = unescape(fields[3]);
    entry.mountPoint = unescape(fields[4]);
    entry.fileSystem = unescape(fields[separator + 1]);
    entry.source = unescape(fields[separator + 2]);
    return entry.mountPoint.starts_with('/') && !entry.fileSystem.empty();
}

// File systems whose content lives elsewhere, or nowhere: never a volume of
// this machine, whatever their source claims to be.
bool foreignFileSystem(const std::string& type)
{
    static const std::set<std::string, std::less<>> network {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs",
        "ceph", "glusterfs", "9p", "sshfs", "davfs", "virtiofs"};
    // Snap packages are squashfs images on loop devices, mounted and
    // replaced with every update: programs, not a user's volumes.
    static const std::set<std::string, std::less<>> virtualOrImage {"proc", "sysfs", "tmpfs", "ramfs", "devtmpfs",
        "devpts", "overlay", "cgroup", "cgroup2", "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf",
        "configfs", "fusectl", "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "squashfs"};
    // FUSE file systems are served by a program, except fuseblk, which
    // serves a block device (an NTFS stick).
    return type.starts_with("fuse.") || type == "fuse" || network.contains(type) || virtualOrImage.contains(type);
}

unsigned long long deviceOf(const MountEntry& entry)
{
    return (static_cast<unsigned long long>(entry.major) << 32) | entry.minor;
}

// A later mount on the same point hides the earlier one: which entry is
// the one seen at each mount point.
std::unordered_map<std::string_view, std::size_t> visibleAt(const std::vector<MountEntry>& entries)
{
    std::unordered_map<std::string_view, std::size_t> visible;
    for (std::size_t i = 0; i < entries.size(); ++i)
        visible[entries[i].mountPoint] = i;
    return visible;
}

} // namespace

std::vector<MountEntry> parse(std::string_view mountinfoText)
{
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < mountinfoText.size()) {
        auto end = mountinfoText.find('\n', start);
        if (end == std::string_view::npos)
            end = mountinfoText.size();
        MountEntry entry;
        if (parseLine(mountinfoText.substr(start, end - start), entry))
            entries.push_back(std::move(entry));
        start = end + 1;
    }
    return entries;
}

std::vector<MountEntry> arrivals(const std::vector<MountEntry>& before, const std::vector<MountEntry>& after,
    const DevicePredicate& isLocalBlockDevice)
{
    // The kernel hands a freed mount id to the next mount: a known mount is
    // the same id on the same device at the same place (a remount).
    std::set<std::tuple<int, unsigned long long, std::string>> knownMounts;
    std::set<unsigned long long> knownDevices;
    for (const auto& entry : before) {
        knownMounts.emplace(entry.id, deviceOf(entry), entry.mountPoint);
        knownDevices.insert(deviceOf(entry));
    }
    std::vector<MountEntry> arrived;
    const auto visible = visibleAt(after);
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto& entry = after[i];
        if (knownMounts.contains({entry.id, deviceOf(entry), entry.mountPoint}) || entry.root != "/" ||
            visible.at(entry.mountPoint) != i || knownDevices.contains(deviceOf(entry)) ||
            entry.major == kOpticalMajor || foreignFileSystem(entry.fileSystem) || !isLocalBlockDevice(entry))
            continue;
        // A stick mounted twice before we looked arrived once.
        knownDevices.insert(deviceOf(entry));
        arrived.push_back(entry);
    }
    return arrived;
}

std::vector<MountEntry> scannable(const std::vector<MountEntry>& entries, const DevicePredicate& isLocalBlockDevice)
{
    std::vector<MountEntry> volumes;
    std::set<unsigned long long> devices;
    const auto visible = visibleAt(entries);
    if (const auto root = visible.find("/"); root != visible.end()) {
        volumes.push_back(entries[root->second]);
        devices.insert(deviceOf(volumes.front()));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        if (entry.mountPoint == "/" || entry.root != "/" || visible.at(entry.mountPoint) != i ||
            devices.contains(deviceOf(entry)) || foreignFileSystem(entry.fileSystem) || !isLocalBlockDevice(entry))
            continue;
        devices.insert(deviceOf(entry));
        volumes.push_back(entry);
    }
    return volumes;
}

const MountEntry* holding(const std::vector<MountEntry>& entries, std::string_view path)
{
    const MountEntry* found = nullptr;
    for (const auto& entry : entries) {
        const std::string_view point = entry.mountPoint;
        const bool contains =
            point == "/" || (path.starts_with(point) && (path.size() == point.size() || path[point.size()] == '/'));
        if (contains && (!found || point.size() >= found->mountPoint.size()))
            found = &entry;
    }
    return found;
}

bool isLocalBlockDevice(const MountEntry& entry)
{
    struct stat status { };
    return entry.source.starts_with('/') && ::stat(entry.source.c_str(), &status) == 0 && S_ISBLK(status.st_mode);
}

bool readTable(int fd, std::string& text)
{
    text.clear();
    std::size_t size = 0;
    while (true) {
        if (text.size() - size < 16384)
            text.resize(size + 65536);
        const ssize_t n = ::pread(fd, text.data() + size, text.size() - size, off_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            text.clear();
            return false;
        }
        if (n == 0)
            break;
        size += std::size_t(n);
    }
    text.resize(size);
    return true;
}

std::vector<std::string> fstabMountPoints(std::string_view fstabText)
{
    std::vector<std::string> points;
    while (!fstabText.empty()) {
        const auto end = fstabText.find('\n');
        std::string_view line = fstabText.substr(0, end);
        fstabText.remove_prefix(end == std::string_view::npos ? fstabText.size() : end + 1);
        std::string_view fields[2];
        std::size_t count = 0;
        while (count < 2) {
            const auto start = line.find_first_not_of(" \t\r");
            if (start == std::string_view::npos || (count == 0 && line[start] == '#'))
                break;
            line.remove_prefix(start);
            const auto blank = line.find_first_of(" \t\r");
            fields[count++] = line.substr(0, blank);
            line.remove_prefix(blank == std::string_view::npos ? line.size() : blank);
        }
        if (count < 2)
            continue;
        std::string point = unescape(fields[1]);
        while (point.size() > 1 && point.back() == '/')
            point.pop_back();
        if (point.starts_with('/') && point != "/")
            points.push_back(std::move(point));
    }
    return points;
}

bool onAbsentVolume(
    std::string_view path, const std::vector<std::string>& fstabPoints, const std::vector<MountEntry>& mounted)
{
    const auto within = [](std::string_view inner, std::string_view outer) {
        return inner.starts_with(outer) && (inner.size() == outer.size() || inner[outer.size()] == '/');
    };
    // The deepest place a volume may be missing from. Removable media mount
    // in folders of their own below these, and /mnt itself is often a mount
    // of something else.
    std::string_view root;
    bool strictlyBelow = false;
    for (const auto& point : fstabPoints) {
        if (within(path, point) && point.size() > root.size())
            root = point;
    }
    for (const std::string_view folder : {"/media", "/run/media", "/mnt"}) {
        if (within(path, folder) && path.size() > folder.size() && folder.size() > root.size()) {
            root = folder;
            strictlyBelow = true;
        }
    }
    if (root.empty())
        return false;
    const MountEntry* holder = holding(mounted, path);
    return !holder || !within(holder->mountPoint, root) || (strictlyBelow && holder->mountPoint.size() == root.size());
}

} // namespace corvatek::platform::mounts
