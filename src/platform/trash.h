// The user's trash: its folders, and emptying them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace corvatek::platform {

// The user's trash folders: on Linux the home trash first, then the user's
// trash folders on mounted local volumes.
std::vector<std::string> trashFolders();

// Empties these trash folders: each trashed item is deleted with its
// information entry; an item that cannot be deleted keeps its entry.
// Deletion never follows a link nor enters a mount (a volume or a bind mount
// inside a trashed folder): the mount point and the folders that hold it stay,
// and the item keeps its entry. A large trash takes a while: `betweenItems`
// is called every 50 ms or so.
struct TrashOutcome {
    std::size_t deleted = 0;
    std::size_t kept = 0;
};
TrashOutcome emptyTrash(const std::vector<std::string>& folders, const std::function<void()>& betweenItems = {});

} // namespace corvatek::platform
