// Tells the user what a companion did, as the control centre does: through
// the notifier of the program folder, above protection level 1.
#pragma once

#include <string>

namespace corvatek::companion {

// Starts vknotify.exe (from the program folder, else from beside this
// program) with `message`, unless track.txt holds level 1. Never waits.
// False when nothing was started.
bool tellUser(const std::string& programFolder, const std::string& message);

} // namespace corvatek::companion
