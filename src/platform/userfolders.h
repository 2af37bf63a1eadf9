// The user's own folders, and the ordinary files of a folder a page lists
// and may delete from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvatek::platform {

enum class UserFolder {
    Desktop, // the user's desktop folder
    Downloads, // where the user's downloads go
    Cookies, // the web browser's cookie files; Linux has no such folder
};

// The folder's path, without a trailing separator; empty when the system
// has no such folder. It may not exist.
std::string userFolder(UserFolder kind);

// The files of a folder a page lists and may delete from, and which folder
// they were read from.
struct FolderFiles {
    bool readable = false;
    std::uint64_t device = 0; // with `inode`, the folder that was read
    std::uint64_t inode = 0;
    std::vector<std::string> names; // bare names, in byte order
};

// The ordinary files of `folder`: regular files whose names do not start
// with "." (hidden), never a symbolic link, never a folder.
FolderFiles ordinaryFiles(const std::string& folder);
// The folder alone, unlisted: for deleting names that came from elsewhere
// through deleteFromFolder, held to the folder they were meant in.
FolderFiles folderIdentity(const std::string& folder);

// Deletes each named entry from the folder `listed` was read from: a name
// with a separator is refused, a symbolic link is removed itself, never what
// it points at, a folder is never removed, and nothing is deleted when
// `folder` now names another folder. Entries that are gone are skipped.
// Returns how many were deleted.
std::size_t deleteFromFolder(
    const std::string& folder, const FolderFiles& listed, const std::vector<std::string>& names);

} // namespace corvatek::platform
