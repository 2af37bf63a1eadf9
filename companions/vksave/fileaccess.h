// The backup's view of files: descriptors, facts read without following
// links, the names of files being written, and when two times are the same.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace corvatek::backup {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) { }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) { }
    Descriptor& operator=(Descriptor&& other) noexcept;
    ~Descriptor();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

struct Facts {
    mode_t mode = 0; // kind and permission bits
    uid_t owner = 0;
    gid_t group = 0;
    off_t size = 0;
    timespec modified {};
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t links = 1; // hard links
    std::uint64_t mount = 0; // 0 where the system does not tell
    bool mountRoot = false; // something is mounted here

    bool sameFile(const Facts& other) const { return device == other.device && inode == other.inode; }
    // Another mount than `other`'s: another file system, or a bind mount.
    bool otherMount(const Facts& other) const
    {
        return device != other.device || (mount != 0 && other.mount != 0 && mount != other.mount);
    }
};

// The facts of `name` in `folder`, or of `folder` itself for an empty name;
// never through a link, never triggering an automount. Nothing (errno set)
// when they cannot be read.
std::optional<Facts> factsAt(int folder, const char* name);

// True when `folder` is `ancestor` or lies anywhere below it, found by
// walking up from `folder` and by where each mount on the way has its root
// in its file system, so links and bind mounts are seen through.
bool isWithin(int folder, int ancestor);

// Whether files made in `folder` keep the owner they are given (FAT and
// NTFS volumes show the one of the mount for all), tried on a file of its
// own; false too where the caller may not give files away.
bool keepsOwners(int folder);

// Files are written under such a name beside their final one; a killed run
// leaves them behind for the next run to remove.
std::string temporaryName();
bool isTemporaryName(std::string_view name);

// Whether a copy's modification time still is its source's, as exactly as
// the destination's file system keeps times (FAT keeps two seconds).
class TimeMatch {
public:
    explicit TimeMatch(int destinationFolder);
    bool same(const timespec& source, const timespec& kept) const;

private:
    std::int64_t granularityNs_ = 1;
};

std::string errorText(int error);

} // namespace corvatek::backup
