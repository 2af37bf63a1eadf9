// The read check of a folder: every file under it read through to the end,
// from the disk and not the page cache, so that a sector the disk can no
// longer read shows as the file's I/O error.
#pragma once

#include <string>
#include <vector>

namespace corvatek::vkcheck {

struct ReadCheck {
    bool opened = false;
    int error = 0; // why the folder could not be opened
    long long files = 0; // read through
    long long bytes = 0;
    std::vector<std::string> unreadable; // an I/O error
    long long denied = 0; // the user may not read them
    long long failed = 0; // another error (gone meanwhile, out of memory…)
};

ReadCheck readCheck(const std::string& folder);

} // namespace corvatek::vkcheck
