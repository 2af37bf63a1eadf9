// Shortcuts and autostart entries whose program is surely gone.
#pragma once

#include "platform/userfolders.h"

#include <string>
#include <vector>

namespace corvatek::platform {

// The shortcuts of `folder` whose target surely cannot be obtained, in byte
// order. On Linux a shortcut is a symbolic link or a ".desktop" file; broken
// is a link to nothing, an application entry whose program is neither an
// existing path nor found on the session's search path, or a link entry to a
// missing local file. Only "no such file" is missing: a folder that cannot be
// read, an I/O error, or a volume not mounted now (below /media, /run/media,
// /mnt or a mount point of /etc/fstab) leaves a shortcut unjudged.
FolderFiles brokenShortcuts(const std::string& folder);

// Deletes the user's own autostart entries whose program is surely missing,
// judged as for shortcuts: the command's program, after dropping a trailing
// "/autoRun" argument, is neither an existing path nor found on the session's
// search path. An empty command, a hidden or unreadable entry and the entry
// `keepName` are never deleted. An entry that hides a system-wide entry of
// its name is replaced by a hidden one instead, so the system's stays off.
// Returns the names of the entries deleted or hidden.
std::vector<std::string> removeDeadAutostartEntries(const std::string& keepName);

} // namespace corvatek::platform
