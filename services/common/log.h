// A service's log: lines on standard error, which the journal takes, each
// with its priority in the form the journal reads.
#pragma once

#include <string>

namespace corvatek::service {

enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// The name that leads each line when no journal takes them, set once at start.
void setLogName(std::string name);
void log(Priority priority, const std::string& line);

} // namespace corvatek::service
