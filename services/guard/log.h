// The service's log: lines on standard error, which the journal takes,
// each with its priority in the form the journal reads.
#pragma once

#include <string>

namespace corvatek::guard {

enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

void log(Priority priority, const std::string& line);

} // namespace corvatek::guard
