// The guard service's messages: one request or answer per datagram of a
// SOCK_SEQPACKET Unix socket, as ASCII text, led by the protocol's name and
// version. docs/companions.md describes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvatek::scanning::guard {

inline constexpr std::string_view kDefaultSocket = "/run/corvatek/guard.socket";
inline constexpr std::string_view kVersion = "corvatek-guard/1";
// A longer datagram is no message of the protocol.
inline constexpr std::size_t kMaxMessage = 512;

enum class Request { Ping, Scan };
std::string requestText(Request request);
// Nothing when the text is no request of this version.
std::optional<Request> parseRequest(std::string_view text);

// Error reasons an answer may give; a failed scan adds libclamav's words.
namespace reason {
inline constexpr std::string_view Timeout = "timeout";
inline constexpr std::string_view TooLarge = "too-large";
inline constexpr std::string_view BeyondLimits = "limits-exceeded";
inline constexpr std::string_view NotRegular = "not-a-regular-file";
inline constexpr std::string_view NotReadable = "not-readable";
inline constexpr std::string_view NoSignatures = "no-signatures";
inline constexpr std::string_view ScanFailed = "scan-failed";
inline constexpr std::string_view Busy = "busy";
} // namespace reason

struct Answer {
    enum Kind { Ready, Clean, Found, Error } kind = Error;
    unsigned long uid = 0; // the client's, as the service saw it
    // Ready: the number of signatures; Found: the signature's name; Error:
    // the reason, then possibly a blank and more words.
    std::string detail;
};
std::string answerText(const Answer& answer);
std::optional<Answer> parseAnswer(std::string_view text);

} // namespace corvatek::scanning::guard
