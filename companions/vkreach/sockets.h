// The machine's listening sockets as the kernel's socket diagnostics list
// them (NETLINK_SOCK_DIAG, inet_diag): TCP sockets in LISTEN and UDP sockets
// bound and not connected, IPv4 and IPv6 apart.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkreach {

// In the order the listing is sorted by.
enum class Kind { Tcp, Tcp6, Udp, Udp6 };
inline constexpr std::array kKinds {Kind::Tcp, Kind::Tcp6, Kind::Udp, Kind::Udp6};

// "tcp", "tcp6", "udp", "udp6".
std::string_view kindText(Kind kind);

struct Socket {
    Kind kind;
    std::uint16_t port;
    std::uint64_t inode;
};

struct Listing {
    std::vector<Socket> sockets;
    // Why a kind could not be listed; its sockets are then missing.
    std::array<std::optional<std::string>, kKinds.size()> failed;
};

class SocketLister {
public:
    SocketLister() = default;
    ~SocketLister();
    SocketLister(const SocketLister&) = delete;
    SocketLister& operator=(const SocketLister&) = delete;

    Listing list();

private:
    // Nothing when the kind was listed whole, else why not.
    std::optional<std::string> dump(Kind kind, std::vector<Socket>& into);

    int fd_ = -1;
    std::uint32_t sequence_ = 0;
};

} // namespace corvatek::vkreach
