// A walk down a folder through descriptors, on its mount only, never
// following a link: what the read check and the list of files that can go
// both need, and a folder swapped for a link while it is walked leads
// nowhere.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvatek::vkcheck {

struct Entry {
    int folder; // the open folder the entry is in
    const char* name;
    unsigned char type; // DT_REG, DT_DIR, DT_LNK…; never DT_UNKNOWN
    const std::string& path; // the folder's path, '/', the name
};

enum class Next { Go, SkipFolder, Stop };

struct Walked {
    bool opened = false; // the root could be opened
    int error = 0; // why not
    bool stopped = false; // the visitor stopped it
    // Folders that could not be opened or read to their end, and why.
    struct Failure {
        std::string path;
        int error;
    };
    std::vector<Failure> failedFolders;
};

// Calls `visit` for each entry below `root`, a folder before what it holds;
// folders on another mount are visited but not entered.
Walked walk(const std::string& root, const std::function<Next(const Entry&)>& visit);

} // namespace corvatek::vkcheck
