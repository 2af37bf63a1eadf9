// What the client and its engine process (vkguardscan.exe) tell each other:
// one datagram of a SOCK_SEQPACKET socket pair per message, its fields
// separated by NUL, the one byte no path holds. The client sends paths;
// the engine answers once how its load went, then each finding.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkguard::engine {

// A path, a signature and a few notes fit.
inline constexpr std::size_t kMaxMessage = 3 * 4096 + 512;

// "loaded", folder, signature count, notes…
inline constexpr std::string_view kLoaded = "loaded";
// "failed", why, notes…
inline constexpr std::string_view kFailed = "failed";
// "found", path, signature, the file's time in seconds since the epoch
inline constexpr std::string_view kFound = "found";

inline std::string message(std::initializer_list<std::string_view> fields)
{
    std::string text;
    for (const std::string_view field : fields) {
        if (!text.empty())
            text += '\0';
        text += field;
    }
    return text;
}

} // namespace corvatek::vkguard::engine
