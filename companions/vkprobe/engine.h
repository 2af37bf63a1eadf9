// The ClamAV engine of one scan, loaded and compiled once and then asked
// about one open file at a time, and the memory-backed folder it keeps its
// temporary files in.
#pragma once

#include <clamav.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::probe {

// The limits, per file scanned: files larger than kMaxFileSize are not
// scanned; archives and documents are unpacked within the other three, and
// one that goes past them counts as not fully scanned.
inline constexpr std::uint64_t kMaxFileSize = 100u << 20;
inline constexpr std::uint64_t kMaxScanSize = 400u << 20;
inline constexpr unsigned kMaxRecursion = 17;
inline constexpr unsigned kMaxFiles = 10000;

// The signature folders a scan tries, in order: the user's own folder,
// then the system's (CORVATEK_SIGNATURES in its place when that is set).
std::vector<std::string> signatureFolders(const std::string& userFolder);

// A folder of this run for libclamav's temporary files: the user's runtime
// folder when it is a tmpfs with room for what the limits let an archive
// unpack, else /dev/shm with that room, else a folder in the user's cache.
// libclamav makes a folder per scanned file, which on a disk costs more than
// the scan of a small file. Removed with what it holds when the run ends;
// those of earlier runs that were killed are removed when the next starts.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made at all.
    const std::string& path() const { return path_; }

private:
    bool makeIn(const std::string& base);

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

    struct Problem {
        enum Kind { None, Missing, Unreadable, Empty, Damaged, NoSignatures, Failed } kind = None;
        std::string detail; // the system's or libclamav's words
    };
    // Loads and compiles the signatures of `folder`, its regular files only
    // (a pipe planted there must not block the load). A failed load leaves
    // no engine, so the next folder may be tried.
    Problem load(const std::string& folder, const std::string& tempFolder);
    unsigned signatureCount() const { return signatures_; }

    struct Verdict {
        enum Kind { Clean, Found, BeyondLimits, Failed } kind = Clean;
        std::string signature; // when Found
    };
    Verdict scan(int fd, const std::string& path) const;

private:
    Problem loadOpenFiles(const std::string& folder, const std::string& tempFolder);
    void release();

    cl_engine* engine_ = nullptr;
    unsigned signatures_ = 0;
};

} // namespace corvatek::probe
