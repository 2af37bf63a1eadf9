// A set of folders watched with inotify, none recursively. A folder that
// is not there (yet) is waited for through the nearest folder above it that
// is, and watched from the moment it appears; what it holds by then counts
// as just made.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvatek::vkguard {

class FolderWatch {
public:
    struct Wanted {
        std::string path;
        int role = 0; // the caller's; where two folders are one, the higher wins
        bool withSubfolders = false; // its immediate subfolders too, also those made later
    };
    // An entry of a watched folder that changed.
    struct Change {
        std::string path;
        int role = 0;
        std::uint32_t mask = 0; // inotify's
        bool appeared = false; // found in a folder as it came to be watched
    };
    using Handler = std::function<void(const Change&)>;

    // `mask` is what each folder is watched for (IN_CREATE and IN_MOVED_TO
    // are always added: they tell when a folder waited for appears).
    explicit FolderWatch(std::uint32_t mask);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    int descriptor() const { return fd_; }
    // Watches these folders from now on, and no other.
    void watch(std::vector<Wanted> wanted);
    bool empty() const { return wanted_.empty(); }
    // Hands each change of a watched folder's entries to `handle`; never
    // waits.
    void read(const Handler& handle);

private:
    struct Entry {
        std::string path;
        int role = -1; // -1: only the way to a folder waited for
        bool withSubfolders = false;
    };
    bool isWanted(const std::string& path) const;
    // Watches the folder; when it appeared after the watch began, its
    // entries are handed to `appeared` as made.
    bool add(const std::string& path, int role, bool withSubfolders, const Handler* appeared);
    void waitFor(const std::string& path);
    void refresh(const Handler* appeared);
    void reset();

    int fd_ = -1;
    std::uint32_t mask_;
    std::vector<Wanted> wanted_;
    std::unordered_map<int, Entry> entries_;
};

} // namespace corvatek::vkguard
