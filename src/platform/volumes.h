// The mounted volumes a user can scan, and those being attached.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvatek::platform {

// A mounted volume a user can scan: on Linux its mount point, on Windows a
// drive root.
struct Volume {
    std::string root; // e.g. "/media/ann/USB STICK"
    unsigned long long device = 0; // the mounted device's number, while it stays mounted
};

// How the user and the scanner name a volume: on Windows its drive letter
// ("E"), on Linux its root.
std::string volumeName(const Volume& volume);

// The volumes a user would scan, the system's root first, each device once:
// local block-device file systems, never /proc, /sys, tmpfs, overlays and the
// like, nor a bind mount of part of a volume.
std::vector<Volume> scannableVolumes();

// The mounted volume that holds `path`, or nothing when it cannot be told.
std::optional<Volume> volumeOf(const std::string& path);

// True while `volume` is still mounted at its root and its file system
// answers (the volume information can be read).
bool volumeReadable(const Volume& volume);

// Lists the volume's root folder directly, no shell involved; true when it
// is still that volume and the listing succeeded.
bool listVolumeRoot(const Volume& volume);

// Reports volumes being attached: a newly mounted local block-device volume
// (a USB stick, a memory card). A network file system, a second or bind
// mount of something already mounted, a remount or a disc put into an
// optical drive is no arrival.
class VolumeArrivals {
public:
    VolumeArrivals(); // what is mounted now is known, not arrived
    ~VolumeArrivals();
    VolumeArrivals(const VolumeArrivals&) = delete;
    VolumeArrivals& operator=(const VolumeArrivals&) = delete;

    // Signals an exceptional condition (poll's POLLPRI) when the mount table
    // changes; -1 when it cannot be watched.
    int descriptor() const;
    // Reads the mount table again and returns the volumes that arrived since
    // the last look, in mount order.
    std::vector<Volume> takeArrivals();

private:
    struct State;
    State* state_;
};

} // namespace corvatek::platform
