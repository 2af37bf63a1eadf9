// Parameter texts of companions' command lines, split as a Windows program
// splits them.
#include "finding.h"
#include "platform/commandline.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using corvatek::platform::splitCommandLine;

using corvatek::fuzz::fail;

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The Microsoft C runtime's quoting: backslashes count only before a quote,
// so those are doubled and the quote escaped; the closing quote gets the same.
std::string quoted(std::string_view argument)
{
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        out.push_back(c);
        backslashes = 0;
    }
    out.append(2 * backslashes, '\\');
    out.push_back('"');
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> arguments = splitCommandLine(text);

    // Without quotes, blanks alone separate and nothing else is special.
    if (text.find('"') == std::string_view::npos) {
        std::vector<std::string> words;
        for (std::size_t i = 0; i < text.size();) {
            if (isBlank(text[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < text.size() && !isBlank(text[end]))
                ++end;
            words.emplace_back(text.substr(i, end - i));
            i = end;
        }
        for (const auto& argument : arguments) {
            if (argument.empty())
                fail("an empty argument without quotes");
            if (argument.find_first_of(" \t") != std::string::npos)
                fail("an argument holds a blank without quotes");
        }
        if (arguments != words)
            fail("a text without quotes is not split at its blanks");
    }

    // Quoted and joined again, the arguments split back to themselves.
    std::string line;
    for (const auto& argument : arguments) {
        if (!line.empty())
            line.push_back(' ');
        line += quoted(argument);
    }
    if (splitCommandLine(line) != arguments)
        fail("quoted arguments do not split back to themselves");
    return 0;
}
