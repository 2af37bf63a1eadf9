// One ClamAV engine, loaded and compiled from a signature folder with the
// suite's limits, then asked about one open file at a time. The scanner
// and the guard service share it; a compiled engine may be asked from
// several threads at once.
#pragma once

#include <clamav.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace corvatek::scanning {

// The limits, per file scanned: files larger than kMaxFileSize are not
// scanned; archives and documents are unpacked within the other three, and
// one that goes past them counts as not fully scanned.
inline constexpr std::uint64_t kMaxFileSize = 100u << 20;
inline constexpr std::uint64_t kMaxScanSize = 400u << 20;
// What the limits let one scanned file unpack at once, with a margin: a
// memory-backed folder for libclamav's temporary files needs this much room,
// or it fills up and what else keeps files there loses them.
inline constexpr std::uint64_t kScratchRoom = kMaxScanSize + kMaxFileSize + (12u << 20);
// Whether `folder` is memory-backed (tmpfs) with that room. libclamav makes
// a folder per scanned file, which on a disk costs more than the scan of a
// small file.
bool isRoomyMemoryFolder(const std::string& folder);
inline constexpr unsigned kMaxRecursion = 17;
inline constexpr unsigned kMaxFiles = 10000;

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
    // no engine, so the next folder may be tried. `tempFolder` holds
    // libclamav's temporary files, and a folder of the load's own while it
    // runs. A `scanTime` above zero bounds each scan (libclamav's default
    // otherwise).
    Problem load(const std::string& folder, const std::string& tempFolder,
        std::chrono::milliseconds scanTime = std::chrono::milliseconds::zero());
    unsigned signatureCount() const { return signatures_; }
    bool loaded() const { return engine_ != nullptr; }

    struct Verdict {
        enum Kind { Clean, Found, BeyondLimits, Failed } kind = Clean;
        std::string signature; // when Found
        std::string reason; // when Failed: libclamav's words
    };
    // `path` only names the file in libclamav's own messages; it may be empty.
    Verdict scan(int fd, const std::string& path) const;

private:
    Problem loadOpenFiles(const std::string& folder, const std::string& tempFolder, std::chrono::milliseconds scanTime);
    void release();

    cl_engine* engine_ = nullptr;
    unsigned signatures_ = 0;
};

// Why a load failed, in plain words for a log (the scanner words its
// report in the user's language instead).
std::string describe(const Engine::Problem& problem);

} // namespace corvatek::scanning
