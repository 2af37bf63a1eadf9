// Desktop entries (".desktop" files) as freedesktop.org defines them: the
// shortcuts on a Linux desktop and the user's autostart entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvatek::platform::desktop {

// The keys of the main group, values unescaped (\s \n \t \r \\).
using Keys = std::unordered_map<std::string, std::string>;

// A key's string value with its escapes resolved.
std::string unescapeValue(std::string_view value);

// Nothing when the text is no desktop entry: a NUL byte, a line that is
// neither a comment, a group nor a key, or no main group.
std::optional<Keys> parse(std::string_view text);

// The file read whole, or nothing when it cannot be read or is larger than
// any real entry (garbage is never read to its end).
std::optional<std::string> readSmallFile(const std::string& path);

// The file's lines without their line ends; none when it cannot be read.
std::vector<std::string> readLines(const std::string& path);

// The arguments of an Exec value: blanks separate, double quotes group, a
// backslash in quotes escapes the next character, "%%" is a "%". Nothing
// when a quote is left open.
std::optional<std::vector<std::string>> execArguments(std::string_view exec);

// The program an Exec value starts; empty when there is none.
std::string programOfExec(std::string_view exec);

// What is known of a program named in a command.
enum class Presence { Found, Missing, Unknown };
// An absolute path is found when something exists there; a bare name when
// an executable file of that name is on the search path; a relative path
// cannot be judged.
Presence presenceOf(const std::string& program);

} // namespace corvatek::platform::desktop
