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

// What is known of a file or program an entry names. Only "no such file"
// makes it missing: never a folder that cannot be read, an I/O error or a
// stale network handle, nor a path on a volume that is not mounted now (a
// stick left unplugged deletes nobody's shortcut).
enum class Presence { Found, Missing, Unknown };

// What is at an absolute path, links followed.
Presence presenceOfPath(const std::string& path);

// An absolute path is judged as above; a bare name is found when an
// executable file of that name is on the search path of the user's session;
// a relative path cannot be judged.
Presence presenceOf(const std::string& program);

// The program of an Exec value. A path with blanks written without quotes
// counts as found when a part of the command up to a blank names something.
Presence presenceOfCommand(std::string_view exec);

} // namespace corvatek::platform::desktop
