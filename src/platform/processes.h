// The processes of the system: looking for them by name, stopping them and
// starting the companions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvatek::platform {

struct ProcessEntry {
    std::string name; // executable file name, as ps and pgrep show it
    int id = 0;
};

// Every process in the system's list order. A zombie (ended, not yet reaped
// by its parent) may be listed; isRunning never counts one.
std::vector<ProcessEntry> processList();

// ASCII-case-insensitive name comparison used for executable names.
bool sameExecutableName(std::string_view a, std::string_view b);

// True while some live process has this executable name. Reads the system's
// list afresh at every call.
bool isRunning(std::string_view executableName);

// Terminates every process of that name that belongs to this user, never
// the first process of the system nor the calling process itself. True when
// one was terminated.
bool terminateByName(std::string_view executableName);

// The same for several names with one look at the process list; the names
// are dealt with in the order given. True when one was terminated.
bool terminateByNames(const std::vector<std::string>& executableNames);

// Starts a program detached: no shell, no inherited descriptors, standard
// streams on the null device, a session of its own, never left as a zombie.
// Returns whether the program could be started; never waits for it.
bool startDetached(const std::string& programPath, const std::vector<std::string>& arguments);

// The companions' two ways of being started. A shell start hands the
// parameters over as one text, as the system shell takes them (on Windows
// its "open" verb, hidden); a console start takes a whole command line whose
// program is looked for in `folder` (the program folder), then on the search
// path (on Windows a new, hidden console). Neither waits for the program.
bool shellStart(const std::string& programPath, const std::string& parameters);
bool consoleStart(const std::string& commandLine, const std::string& folder);

// Finds an executable by bare name: first in `folder`, then on the search
// path. Returns the name unchanged when nothing is found.
std::string resolveExecutable(const std::string& name, const std::string& folder);

// The system's network statistics tool, stopped with the companions when the
// control centre ends.
std::string networkStatisticsToolName();

} // namespace corvatek::platform
