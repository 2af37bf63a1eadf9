// Goes through what a scan mode names and hands each file to the engine.
// Folders are walked through descriptors: a link below the folder scanned
// is never followed, a folder swapped for a link while it is walked leads
// nowhere, and only regular files are opened (never blocking on one).
#pragma once

#include "engine.h"
#include "report.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace corvatek::probe {

// Folders more levels below the folder scanned than this are not entered
// (and counted as not scanned): nothing a person keeps lies deeper, and a
// tree made deeper can only be meant to exhaust the scan.
inline constexpr std::size_t kDeepestFolder = 1000;

// What a file open for reading holds: the guard service's answer, or the
// scan's own engine's.
using Verdicts = std::function<Engine::Verdict(int fd, const std::string& path)>;

class Scanner {
public:
    // `maxDepth` the most folder levels open at once the descriptors allow.
    Scanner(Verdicts verdicts, Report& report, std::size_t maxDepth);

    // The deepest level entered below a folder scanned.
    std::size_t deepestFolder() const { return std::min(maxDepth_ - 1, kDeepestFolder); }

    // Folders scanned on their own in this run, skipped where they sit
    // inside another, so that nothing is scanned twice.
    void setRoots(const std::vector<std::string>& folders);

    // Scans the folder and everything below it, on its mount only when
    // `oneFileSystem`. The folder itself may be a link. Nothing when it was
    // walked, else the system's reason it could not be opened (errno in
    // `error`).
    std::optional<std::string> scanFolder(const std::string& folder, bool oneFileSystem, int* error = nullptr);

    // Scans the program file the path names, links followed, once per run.
    void scanProgram(const std::string& path);

    // Scans the program file of each running process of this user, once.
    void scanRunningPrograms();

private:
    // Scans the open file (closing it) when it is a regular file, on the
    // mount `mount` when that is given.
    void scanOpen(int fd, const std::string& path, const std::uint64_t* mount);
    // False when the file was scanned already in this run.
    bool firstSight(int fd);

    Verdicts verdicts_;
    Report& report_;
    std::size_t maxDepth_;
    std::vector<std::pair<dev_t, ino_t>> roots_;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

} // namespace corvatek::probe
