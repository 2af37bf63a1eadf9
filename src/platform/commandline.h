// Arguments as one text, split and quoted the same way on every system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvatek::platform {

// Splits a parameter text into arguments as a Windows program splits its
// command line: blanks separate, double quotes group, backslashes escape a
// double quote. Keeps companions' arguments identical on every system.
std::vector<std::string> splitCommandLine(std::string_view text);

// Quotes one argument so that splitCommandLine gives it back unchanged;
// text without blanks, tabs or double quotes is returned as it is.
std::string quoteArgument(std::string_view argument);

} // namespace corvatek::platform
