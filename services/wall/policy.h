// A user's network policy as the network tool's client hands it to the
// service: the thirteen network options, the firewall mode, the closed
// ports, the sites' addresses, the rules for programs and the quarantined
// programs' names; and what the service tells the client back. One datagram of a SOCK_SEQPACKET socket,
// led by the protocol's name and version; the lists after the head apart
// by NUL. docs/companions.md describes it.
#pragma once

#include "data/values.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::wall {

inline constexpr std::string_view kDefaultSocket = "/run/corvatek/wall.socket";
inline constexpr std::string_view kVersion = "corvatek-wall/1";
inline constexpr std::size_t kMaxMessage = 64 * 1024;

// Options 2 to 8: outgoing connections to these ports are blocked.
enum class Protocol { Ftp, Telnet, Smtp, Dns, Http, Https, Pop3 };
inline constexpr std::array kProtocols {
    Protocol::Ftp, Protocol::Telnet, Protocol::Smtp, Protocol::Dns, Protocol::Http, Protocol::Https, Protocol::Pop3};
std::vector<std::uint16_t> portsOf(Protocol protocol);

// A program as the kernel knows it: its executable's inode, with st_dev as
// stat() gives it.
struct ProgramFile {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const ProgramFile&) const = default;
};

enum class Verdict { Allow, Refuse };

struct ProgramRule {
    ProgramFile file;
    Verdict verdict = Verdict::Allow;
    bool operator==(const ProgramRule&) const = default;
};

struct Policy {
    FirewallMode firewall = FirewallMode::Off;
    std::array<bool, 13> options {};
    std::vector<std::uint16_t> closedPorts; // incoming TCP and UDP refused
    std::vector<std::string> sites; // addresses, IPv4 or IPv6
    std::vector<ProgramRule> programs;
    std::vector<std::string> quarantined; // process names, never holding '/'

    bool option(int number) const { return number >= 1 && number <= 13 && options[std::size_t(number - 1)]; }
    bool blocks(Protocol protocol) const { return option(2 + int(protocol)); }
    bool internet() const { return option(9); }
    bool stealth() const { return option(10); }
    bool refusesUnknown() const { return option(11); }
    bool siteControl() const { return option(12) || option(13); }
    bool operator==(const Policy&) const = default;
};

std::string policyText(const Policy& policy);
// Nothing when the text is no policy of this version, or a list holds
// something else than ports (1-65535) or addresses.
std::optional<Policy> parsePolicy(std::string_view text);

struct Answer {
    bool applied = false;
    unsigned long uid = 0; // the client's, as the service saw it
    std::string detail; // why not; once applied, "resumed <time>" after the service had died
};
std::string answerText(const Answer& answer);
std::optional<Answer> parseAnswer(std::string_view text);

// A connection the user must hear of, decided by the program making it.
struct ConnectionEvent {
    enum class Kind { Refused = 1, UnknownRefused, UnknownAllowed, Quarantined } kind = Kind::Refused;
    long pid = 0;
    ProgramFile program;
    std::uint16_t port = 0;
    std::string address; // as inet_ntop writes it
    std::string processName; // the kernel's name, at most 15 characters
    std::string path; // the executable's, as the kernel saw it; empty when unknown
    bool operator==(const ConnectionEvent&) const = default;
};
std::string eventText(const ConnectionEvent& event);
std::optional<ConnectionEvent> parseEvent(std::string_view text);

} // namespace corvatek::wall
