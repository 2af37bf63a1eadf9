// What each backend tells about where the suite's files live.
#pragma once

#include <string>

namespace corvatek::platform::backend {

// Whether a copy run from `programFolder` keeps its files elsewhere: it is an
// installed copy, or the user cannot write there.
bool keepsFilesElsewhere(const std::string& programFolder);
// Makes `folder` and any missing parents, closed to other users; an empty
// text, or why it could not.
std::string makePrivateFolder(const std::string& folder);
// Whether the text names a folder from the root.
bool absolutePath(const std::string& path);
char separator();

} // namespace corvatek::platform::backend
