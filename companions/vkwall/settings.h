// The user's network policy, read from the program folder's files and the
// options the control centre started the client with.
#pragma once

#include "data/programfiles.h"
#include "wall/policy.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::vkwall {

// The thirteen options from the command line, `1` or `0` each; nothing
// when they are not that.
std::optional<std::array<bool, 13>> optionsOf(int argc, char** argv);

// The policy in force: the options as started, except those the files
// say afresh (site control: configuration flag 7 and ctrlpl.txt), the
// firewall mode, the closed ports and the sites' addresses. A file that
// cannot be read counts as `inForce` does (the control centre may be
// replacing it).
wall::Policy readPolicy(
    const data::ProgramFiles& files, const std::array<bool, 13>& options, const std::optional<wall::Policy>& inForce);

// The names of the quarantined programs.
std::vector<std::string> quarantined(const data::ProgramFiles& files);

// The program folder's files a change of which may change the policy.
bool isPolicyFile(std::string_view name);

} // namespace corvatek::vkwall
