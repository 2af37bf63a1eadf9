// What freshclam said, reduced to the lines worth a log.
#pragma once

#include <string>
#include <vector>

namespace corvatek::update {

// The last six lines that say something: no blank lines, no progress bars,
// control characters as '?'.
std::vector<std::string> lastLines(const std::string& output);

} // namespace corvatek::update
