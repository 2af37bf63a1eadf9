// The health of the machine's disks: each drive's SMART verdict and the
// attributes that foretell a failure, through udisks2 on the system bus
// (what the desktop's own disk tool reads), and the errors the mounted file
// systems have recorded.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvatek::vkcheck {

struct DriveHealth {
    std::string name; // vendor, model and serial as the drive gives them
    enum class Verdict { Healthy, AtRisk, Failing, NoReport } verdict = Verdict::NoReport;
    std::optional<double> celsius;
    std::optional<long long> reallocated, pending, uncorrectable; // sectors
    bool refreshed = false; // the drive was asked afresh, not its last known data
};

struct FileSystemErrors {
    std::string device; // as the kernel names it under /sys/fs
    std::string mountPoint;
    std::string type;
    long long errors = 0;
};

struct Health {
    std::vector<DriveHealth> drives;
    std::string problem; // why the drives could not be read: no bus, no udisks2
    std::vector<FileSystemErrors> fileSystems;
};

Health checkHealth();
// The errors each mounted ext4 file system, and each device of a btrfs
// one, has recorded, as /sys/fs tells them.
std::vector<FileSystemErrors> fileSystemErrors();

} // namespace corvatek::vkcheck
