// What vkmail.exe and its own engine, vkmailscan.exe, tell each other over
// SOCK_SEQPACKET socket pairs, one per channel. The engine says once, on
// the first, how its load went: "loaded" NUL folder NUL notes…, or
// "failed" NUL why NUL notes…; then each channel carries the guard
// service's scan requests (with the message's descriptor) and answers.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvatek::vkmail::link {

inline constexpr std::string_view kLoaded = "loaded";
inline constexpr std::string_view kFailed = "failed";
// A load's outcome with its notes fits.
inline constexpr std::size_t kMaxOutcome = 16 * 1024;

} // namespace corvatek::vkmail::link
