// Where the suite keeps its files, for whichever copy runs.
#pragma once

#include <string>

namespace corvatek::platform {

// Where the suite keeps the files it reads and writes. A copy the user can
// write to (a build folder, a portable copy on a stick) keeps them beside its
// executable. An installed copy (on Linux, one under /usr or /opt, whoever
// runs it) or a folder the user cannot write keeps them in the user's own
// data folder: $XDG_DATA_HOME/corvatek/ on Linux, %LOCALAPPDATA%\Corvatek
// on Windows, made (mode 0700) when missing. kDataFolderVariable, when it
// holds an absolute path, names the folder outright: the control centre hands
// its folder to the companions it starts through it.
inline constexpr char kDataFolderVariable[] = "CORVATEK_DATA_DIR";
struct DataFolder {
    std::string path; // ends with a path separator
    std::string problem; // why the folder could not be made, if it could not
};
DataFolder dataFolder();
// The user's own folder for the suite, as above, whatever copy runs; not made
// here.
std::string userDataFolder();
// Makes the folder and its missing levels, closed to other users; a level
// made by root in a user's folder belongs to the owner of the level above.
// Empty, or why it could not be made.
std::string makeUserFolder(const std::string& folder);

} // namespace corvatek::platform
