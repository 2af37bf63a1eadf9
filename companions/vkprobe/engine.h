// The ClamAV engine of a run without the guard service, loaded and
// compiled once and then asked about one open file at a time, and the
// memory-backed folder it keeps its temporary files in. The scanner and the
// real-time guard's client share them.
#pragma once

#include "common/texts.h"
#include "scanning/engine.h"

#include <string>
#include <vector>

namespace corvatek::probe {

// The engine and its limits are the guard service's too.
using scanning::Engine;
using scanning::kMaxFiles;
using scanning::kMaxFileSize;
using scanning::kMaxRecursion;
using scanning::kMaxScanSize;

// The signature folders a scan tries, in order: the user's own folder,
// then the system's (CORVATEK_SIGNATURES in its place when that is set).
std::vector<std::string> signatureFolders(const std::string& userFolder);

// What became of the signature folders tried, in the user's language.
struct SignatureLoad {
    std::string folder; // the one loaded
    std::vector<std::string> notes; // each folder passed over, and why
    std::string problem; // when no folder gave an engine
};
// Loads the first folder of signatureFolders that gives an engine.
SignatureLoad loadSignatures(Engine& engine, const std::string& scratch, companion::Language language);

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

} // namespace corvatek::probe
