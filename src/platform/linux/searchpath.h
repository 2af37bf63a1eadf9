// Finding a program by its bare name, as a shell would.
#pragma once

#include <string>

namespace corvatek::platform {

// True for an existing regular file this user may run.
bool isExecutableFile(const std::string& path);

// The executable file `name` in the first folder of the search path that
// holds one; empty when none does.
std::string onSearchPath(const std::string& name);

} // namespace corvatek::platform
