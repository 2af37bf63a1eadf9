// What freshclam says, reduced to the lines the update's log keeps.
#include "finding.h"
#include "output.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string output(reinterpret_cast<const char*>(data), size);
    const auto lines = corvatek::update::lastLines(output);
    if (lines.size() > 6)
        fail("more than six lines are kept");
    for (const std::string& line : lines) {
        if (line.empty() || line.front() == ' ' || line.front() == '\t' || line.back() == ' ' || line.back() == '\t')
            fail("a kept line is empty or keeps blanks around it");
        for (const char c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                fail("a kept line holds a control character");
        }
        if (line.starts_with("Time:") || line.find("ETA:") != std::string::npos)
            fail("a progress bar is kept");
    }
    return 0;
}
