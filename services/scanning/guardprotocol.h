// The guard service's messages: one request or answer per datagram of a
// SOCK_SEQPACKET Unix socket, as ASCII text, led by the protocol's name and
// version. A guard request and the events carry paths: their fields after
// the head are separated by NUL, the one byte no path holds.
// docs/companions.md describes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvatek::scanning::guard {

inline constexpr std::string_view kDefaultSocket = "/run/corvatek/guard.socket";
inline constexpr std::string_view kVersion = "corvatek-guard/1";
// A longer datagram is no message of the protocol.
inline constexpr std::size_t kMaxMessage = 512;

// An event or a guard request, which name paths, may be this long.
inline constexpr std::size_t kMaxPath = 4096;
inline constexpr std::size_t kMaxEvent = 3 * kMaxPath + 512;

enum class Request { Ping, Scan, Guard };
// Ping and Scan; a guard request is guardText's.
std::string requestText(Request request);
// Nothing when the text is no request of this version.
std::optional<Request> parseRequest(std::string_view text);

// What a guard client asks for: the user's twelve configuration flags
// (configuration.xml's Champ1..Champ12), the protection level, and the
// user's download folder. Sent first and again whenever they change.
struct Guarding {
    std::array<bool, 12> flags {};
    int level = 2;
    std::string downloads;

    bool flag(int number) const { return number >= 1 && number <= 12 && flags[std::size_t(number - 1)]; }
    bool operator==(const Guarding&) const = default;
};
std::string guardText(const Guarding& guarding);
std::optional<Guarding> parseGuarding(std::string_view text);

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
    enum Kind { Ready, Clean, Found, Error, Guarding } kind = Error;
    unsigned long uid = 0; // the client's, as the service saw it
    // Ready: the number of signatures; Found: the signature's name; Error:
    // the reason, then possibly a blank and more words; Guarding: "blocking"
    // when files are checked before they open, else "unavailable" and why.
    std::string detail;
};
std::string answerText(const Answer& answer);
std::optional<Answer> parseAnswer(std::string_view text);
inline constexpr std::string_view kBlocking = "blocking";
inline constexpr std::string_view kUnavailable = "unavailable";

// What the service tells a guard client, unasked, once guarding.
enum class Action : std::uint8_t {
    RefusedRun, // a program or script that matched was not started
    RefusedOpen, // an open was refused
    FoundWritten, // found after it was written, the writer not held up
    FoundLate, // the open was let through at the deadline, found after
};
// The modifications watched (configuration flags 3 to 6).
enum class Watched : std::uint8_t { System, Settings, Autostart, Programs };
enum class Change : std::uint8_t { Created, Deleted, Modified, Renamed, FirstRun };

struct Event {
    enum Kind : std::uint8_t { Detection, Modification } kind = Detection;
    // A detection.
    Action action = Action::RefusedOpen;
    std::string signature;
    std::int64_t modified = 0; // the file's time, seconds since the epoch
    // A modification.
    Watched watched = Watched::System;
    Change change = Change::Modified;
    // Both: the file, and the executable of the process that opened, ran,
    // wrote or changed it (empty when it could not be told).
    std::string path;
    std::string program;

    bool operator==(const Event&) const = default;
};
std::string eventText(unsigned long uid, const Event& event);
// Whether the datagram is an event at all (else an answer).
bool isEvent(std::string_view text);
std::optional<Event> parseEvent(std::string_view text);
std::string_view actionWord(Action action);
std::string_view watchedWord(Watched watched);
std::string_view changeWord(Change change);

} // namespace corvatek::scanning::guard
