// The files that can safely go: the page deletes every one the user does
// not uncheck, so the list holds only what is safe to lose and the user may
// delete. Never a file of another user, never through a link, never in the
// program folder or a .git folder, never one a running program holds open
// or has mapped.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace corvatek::vkcheck {

struct CleanRules {
    std::string home;
    std::string cache; // $XDG_CACHE_HOME, else ~/.cache
    std::string programFolder;
    uid_t user = 0;
    std::chrono::system_clock::time_point now;
    // Cache files untouched this long can go; thumbnails at any age.
    std::chrono::hours unusedFor {24 * 30};
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

struct CleanList {
    std::vector<std::string> files;
    long long bytes = 0;
    long long filesLookedAt = 0;
    bool complete = true; // false when the deadline cut the walk
    int error = 0; // the home folder could not be opened
};

CleanList listFiles(const CleanRules& rules);

} // namespace corvatek::vkcheck
