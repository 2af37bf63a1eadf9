#include "fileaccess.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
#ifdef STATX_MNT_ID
    if (found.stx_mask & STATX_MNT_ID)
        facts.mount = found.stx_mnt_id;
#endif
    return facts;
}

bool isWithin(int folder, const Facts& ancestor)
{
    Descriptor current(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::optional<Facts> facts = current.valid() ? factsAt(current.get(), "") : std::nullopt;
    while (facts) {
        if (facts->sameFile(ancestor))
            return true;
        Descriptor parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const std::optional<Facts> above = parent.valid() ? factsAt(parent.get(), "") : std::nullopt;
        if (!above || above->sameFile(*facts))
            return false; // the root
        current = std::move(parent);
        facts = above;
    }
    return false;
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
