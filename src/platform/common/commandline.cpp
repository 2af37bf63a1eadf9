#include "platform/commandline.h"
#include "platform/processes.h"

namespace corvatek::platform {

// The Microsoft C runtime's rules (2008 and later), so that a parameter text
// reaches a companion as the same arguments on every system.
std::vector<std::string> splitCommandLine(std::string_view text)
{
    std::vector<std::string> arguments;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (true) {
        while (i < n && isBlank(text[i]))
            ++i;
        if (i >= n)
            break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(text[i]))) {
            const char c = text[i];
            if (c == '\\') {
                std::size_t run = 0;
                while (i < n && text[i] == '\\') {
                    ++run;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    argument.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        argument.push_back('"');
                        ++i;
                    }
                } else {
                    argument.append(run, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && text[i + 1] == '"') {
                    argument.push_back('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument.push_back(c);
                ++i;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string quoteArgument(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only before a double quote.
        if (c == '"')
            quoted.append(2 * backslashes + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, '\\');
    quoted.push_back('"');
    return quoted;
}

bool sameExecutableName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace corvatek::platform
