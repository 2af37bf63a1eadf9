// The ClamAV engine of one scan, loaded and compiled once and then asked
// about one open file at a time, and the memory-backed folder it keeps its
// temporary files in.
#pragma once

#include <clamav.h>

#include <optional>
#include <string>
#include <vector>

namespace corvatek::probe {

// The folder whose signatures a scan uses: CORVATEK_SIGNATURES when it is
// set, else the user's own folder when it holds a database, else the
// system's. Nothing when none does; `looked` gets the folders looked at.
std::optional<std::string> signatureFolder(const std::string& userFolder, std::vector<std::string>& looked);

// A folder of this run for libclamav's temporary files, on a memory-backed
// file system: the user's runtime folder when it is a tmpfs, else /dev/shm.
// libclamav makes a folder per scanned file, which on a disk costs more than
// the scan of a small file. Removed with what it holds when the run ends;
// those of earlier runs that were killed are removed when the next starts.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no memory-backed folder could be had: libclamav's default.
    const std::string& path() const { return path_; }

private:
    std::string base_;
    std::string name_;
    int lock_ = -1; // held while the scan runs
    std::string path_;
};

class Engine {
public:
    Engine() = default;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads and compiles the signatures of `folder`. Empty on success, else
    // why the engine could not be made.
    std::string load(const std::string& folder, const std::string& tempFolder);
    unsigned signatureCount() const { return signatures_; }

    struct Verdict {
        enum Kind { Clean, Found, Failed } kind = Clean;
        std::string signature; // when Found
    };
    Verdict scan(int fd, const std::string& path) const;

private:
    cl_engine* engine_ = nullptr;
    unsigned signatures_ = 0;
};

} // namespace corvatek::probe
