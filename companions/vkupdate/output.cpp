#include "output.h"

namespace corvatek::update {
namespace {

constexpr std::size_t kLinesTold = 6;

} // namespace

std::vector<std::string> lastLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t") + 1);
        if (line.empty() || line.rfind("Time:", 0) == 0 || line.find("ETA:") != std::string::npos)
            continue;
        for (char& c : line) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?';
        }
        lines.push_back(std::move(line));
    }
    if (lines.size() > kLinesTold)
        lines.erase(lines.begin(), lines.end() - std::ptrdiff_t(kLinesTold));
    return lines;
}

} // namespace corvatek::update
