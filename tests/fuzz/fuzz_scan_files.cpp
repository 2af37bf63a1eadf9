// What the scanner reads and rewrites of the shared files: the mode from
// its argument or analyse.txt, and viri.txt with new findings added.
#include "finding.h"
#include "data/eightbit.h"
#include "modeargument.h"
#include "report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

using corvatek::fuzz::fail;

namespace {

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    using corvatek::probe::ModeArgument;

    // A mode is one digit 0 to 3 and nothing else but blanks; its text is
    // valid UTF-8 and never starts or ends with an ASCII blank.
    const ModeArgument argument = corvatek::probe::scanMode(bytes);
    if (argument.mode && argument.text != corvatek::fileText(*argument.mode))
        fail("a mode was taken from more than its digit");
    if (!corvatek::data::isValidUtf8(argument.text))
        fail("the mode's text is not valid UTF-8");
    if (!argument.text.empty() && (argument.text.front() == ' ' || argument.text.back() == ' '))
        fail("the mode's text keeps a blank");

    // viri.txt: the first half of the input is the file, the rest the new
    // finding lines (as the scanner makes them: no line ends).
    const std::string current(bytes.substr(0, size / 2));
    std::vector<std::string> added;
    for (const std::string_view line : linesOf(bytes.substr(size / 2)))
        added.push_back(corvatek::probe::lineText(line));
    const std::string updated = corvatek::probe::withDetections(current, added);
    if (updated.size() > 4 * 1024 * 1024)
        fail("viri.txt grew past its bound");
    if (!updated.empty() && !updated.ends_with('\n') && !current.empty())
        fail("viri.txt does not end with a line end");
    // Within the bound the file keeps what it held, then gains each new
    // finding once, and none it held already.
    if (!updated.starts_with(current))
        fail("viri.txt lost what it held");
    const std::vector<std::string_view> before = linesOf(current);
    const std::unordered_set<std::string_view> known(before.begin(), before.end());
    const std::unordered_set<std::string> offered(added.begin(), added.end());
    std::unordered_set<std::string_view> seen;
    std::string_view tail = std::string_view(updated).substr(current.size());
    if (tail.starts_with("\r\n") && !current.empty() && !current.ends_with('\n'))
        tail.remove_prefix(2);
    for (const std::string_view line : linesOf(tail)) {
        if (!offered.contains(std::string(line)) || known.contains(line) || !seen.insert(line).second)
            fail("a line was added that is no new finding, or twice");
    }
    for (const std::string& line : added) {
        if (!known.contains(line) && !seen.contains(line))
            fail("a new finding is missing");
    }
    return 0;
}
