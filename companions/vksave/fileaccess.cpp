#include "fileaccess.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace corvatek::backup {
namespace {

constexpr std::string_view kTemporaryPrefix = ".vksave-";
constexpr std::string_view kTemporarySuffix = ".part";
constexpr std::size_t kTemporaryDigits = 12;

std::int64_t floorDivide(std::int64_t value, std::int64_t by)
{
    const std::int64_t quotient = value / by;
    return value % by < 0 ? quotient - 1 : quotient;
}

std::int64_t nanoseconds(const timespec& time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

struct Mount {
    std::uint64_t id = 0;
    std::string device; // "major:minor" of the file system
    std::string root; // the mounted folder, within its file system
    std::string point;
};

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string unescaped(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            text += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<Mount> mounts()
{
    std::vector<Mount> found;
    std::FILE* const table = std::fopen("/proc/self/mountinfo", "re");
    if (!table)
        return found;
    char* line = nullptr;
    std::size_t capacity = 0;
    while (::getline(&line, &capacity, table) > 0) {
        // id parent major:minor root point ...
        std::vector<std::string> fields;
        for (char* field = std::strtok(line, " \n"); field && fields.size() < 5; field = std::strtok(nullptr, " \n"))
            fields.emplace_back(field);
        if (fields.size() == 5)
            found.push_back(
                {std::strtoull(fields[0].c_str(), nullptr, 10), fields[2], unescaped(fields[3]), unescaped(fields[4])});
    }
    std::free(line);
    std::fclose(table);
    return found;
}

const Mount* mountWithId(const std::vector<Mount>& table, std::uint64_t id)
{
    for (const Mount& mount : table) {
        if (mount.id == id)
            return &mount;
    }
    return nullptr;
}

// Before 5.8 statx does not tell the mount; fdinfo does.
std::uint64_t mountOf(int fd, const Facts& facts)
{
    if (facts.mount != 0)
        return facts.mount;
    std::FILE* const info = std::fopen(("/proc/self/fdinfo/" + std::to_string(fd)).c_str(), "re");
    unsigned long long id = 0;
    char line[128];
    while (info && std::fgets(line, sizeof line, info) && std::sscanf(line, "mnt_id: %llu", &id) != 1) { }
    if (info)
        std::fclose(info);
    return id;
}

// Where a folder lies within its file system: its mount's root joined with
// the way from the mount point down to it.
std::optional<std::pair<std::string, std::string>> placeInFileSystem(int folder, const std::vector<Mount>& table)
{
    const std::optional<Facts> facts = factsAt(folder, "");
    const Mount* const mount = facts ? mountWithId(table, mountOf(folder, *facts)) : nullptr;
    if (!mount)
        return std::nullopt;
    std::string path(4096, '\0');
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(folder)).c_str(), path.data(), path.size());
    if (n <= 0 || std::size_t(n) >= path.size())
        return std::nullopt;
    path.resize(std::size_t(n));
    std::string below;
    if (mount->point == "/")
        below = path == "/" ? "" : path;
    else if (path == mount->point)
        below = "";
    else if (path.starts_with(mount->point + '/'))
        below = path.substr(mount->point.size());
    else
        return std::nullopt; // out of this process's sight
    const std::string inside = mount->root == "/" ? (below.empty() ? "/" : below) : mount->root + below;
    return std::pair {mount->device, inside};
}

bool isSameOrBelow(const std::string& path, const std::string& folder)
{
    return folder == "/" || path == folder || path.starts_with(folder + '/');
}

} // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<Facts> factsAt(int folder, const char* name)
{
    int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
    if (*name == '\0')
        flags |= AT_EMPTY_PATH;
    unsigned mask = STATX_BASIC_STATS;
#ifdef STATX_MNT_ID
    mask |= STATX_MNT_ID;
#endif
    struct statx found { };
    if (::statx(folder, name, flags, mask, &found) != 0)
        return std::nullopt;
    Facts facts;
    facts.mode = found.stx_mode;
    facts.owner = found.stx_uid;
    facts.group = found.stx_gid;
    facts.size = off_t(found.stx_size);
    facts.modified = {found.stx_mtime.tv_sec, long(found.stx_mtime.tv_nsec)};
    facts.device = makedev(found.stx_dev_major, found.stx_dev_minor);
    facts.inode = found.stx_ino;
    facts.links = found.stx_nlink;
    facts.mountRoot =
        (found.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (found.stx_attributes & STATX_ATTR_MOUNT_ROOT);
#ifdef STATX_MNT_ID
    if (found.stx_mask & STATX_MNT_ID)
        facts.mount = found.stx_mnt_id;
#endif
    return facts;
}

bool isWithin(int folder, int ancestor)
{
    const std::optional<Facts> top = factsAt(ancestor, "");
    if (!top)
        return false;
    // Walking up misses the folders above a bind mount's root: where that
    // root lies in its file system tells whether the ancestor is one of them.
    const std::vector<Mount> table = mounts();
    const auto place = placeInFileSystem(ancestor, table);
    std::vector<std::uint64_t> seen;
    Descriptor current(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::optional<Facts> facts = current.valid() ? factsAt(current.get(), "") : std::nullopt;
    while (facts) {
        if (facts->sameFile(*top))
            return true;
        const std::uint64_t id = mountOf(current.get(), *facts);
        if (place && std::find(seen.begin(), seen.end(), id) == seen.end()) {
            seen.push_back(id);
            const Mount* const mount = mountWithId(table, id);
            if (mount && mount->device == place->first && isSameOrBelow(mount->root, place->second))
                return true;
        }
        Descriptor parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const std::optional<Facts> above = parent.valid() ? factsAt(parent.get(), "") : std::nullopt;
        if (!above || above->sameFile(*facts))
            return false; // the root
        current = std::move(parent);
        facts = above;
    }
    return false;
}

bool keepsOwners(int folder)
{
    const std::string probe = temporaryName();
    const Descriptor file(
        ::openat(folder, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    if (!file.valid())
        return true; // then nothing is written anyway
    struct stat facts { };
    bool kept = ::fstat(file.get(), &facts) == 0;
    const uid_t other = facts.st_uid + 1;
    kept = kept && ::fchown(file.get(), other, gid_t(-1)) == 0 && ::fstat(file.get(), &facts) == 0 &&
        facts.st_uid == other;
    ::unlinkat(folder, probe.c_str(), 0);
    return kept;
}

std::string temporaryName()
{
    static std::uint64_t count = 0;
    unsigned char random[kTemporaryDigits / 2] {};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != sizeof random) {
        // Early at boot: unique within the run is enough, creation is exclusive.
        const std::uint64_t fallback = (std::uint64_t(::getpid()) << 24) + ++count;
        std::memcpy(random, &fallback, sizeof random);
    }
    std::string name(kTemporaryPrefix);
    for (const unsigned char byte : random) {
        name += "0123456789abcdef"[byte >> 4];
        name += "0123456789abcdef"[byte & 15];
    }
    return name.append(kTemporarySuffix);
}

bool isTemporaryName(std::string_view name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits + kTemporarySuffix.size() ||
        !name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return false;
    for (const char c : name.substr(kTemporaryPrefix.size(), kTemporaryDigits)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

TimeMatch::TimeMatch(int destinationFolder)
{
    struct statfs system { };
    if (::fstatfs(destinationFolder, &system) != 0)
        return;
    switch (static_cast<unsigned long>(system.f_type)) {
    case 0x4d44: granularityNs_ = 2000000000; break; // FAT
    case 0x2011bab0: granularityNs_ = 10000000; break; // exFAT
    case 0x7366746e: // NTFS
    case 0x65735546: granularityNs_ = 100; break; // FUSE, mostly NTFS volumes
    default: break;
    }
}

bool TimeMatch::same(const timespec& source, const timespec& kept) const
{
    const std::int64_t a = nanoseconds(source);
    const std::int64_t b = nanoseconds(kept);
    if (floorDivide(a, granularityNs_) == floorDivide(b, granularityNs_))
        return true;
    // File systems that keep whole seconds only.
    return kept.tv_nsec == 0 && source.tv_sec == kept.tv_sec;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace corvatek::backup
