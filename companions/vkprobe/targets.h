// What the quick scan looks at besides the user's folders: the programs the
// user's session starts on its own.
#pragma once

#include <string>
#include <vector>

namespace corvatek::probe {

// The program files named by the user's autostart entries
// ($XDG_CONFIG_HOME/autostart/*.desktop, their Exec programs, bare names
// found on the search path), each once; entries switched off (Hidden) run
// nothing and name none.
std::vector<std::string> autostartPrograms();

} // namespace corvatek::probe
