// What every service does to be reached: a SOCK_SEQPACKET socket every user
// may connect to, and systemd told how it goes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace corvatek::service {

// A connection taken, and who made it: the kernel's word, never the client's.
struct Peer {
    int fd = -1;
    ucred credentials {};
};

// How many connections a service holds at most, in all and of one user, so
// that no user's crowd out another's.
struct Limits {
    std::size_t total = 256;
    std::size_t perUser = 32;
};
// Whether `clients` (a map whose values hold `peer`, a ucred) leave room for
// one more of `uid`.
template<typename Clients> bool hasRoom(const Clients& clients, uid_t uid, Limits limits)
{
    return clients.size() < limits.total &&
        std::size_t(std::count_if(clients.begin(), clients.end(),
            [uid](const auto& client) { return client.second.peer.uid == uid; })) < limits.perUser;
}

class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Listens on `path`, making its folder (mode 0755) when missing. A
    // socket left by a killed run is replaced; one a running service
    // answers on, or anything else at the name, is not. False, logged, when
    // it cannot listen.
    bool listen(const std::string& path);
    int fd() const { return fd_; }
    // Every connection waiting, non-blocking, each with its maker.
    std::vector<Peer> acceptAll();
    // Removes the socket file, only the one this run made: a later run's
    // may have taken the name.
    void remove();

private:
    std::string path_;
    int fd_ = -1;
    std::pair<dev_t, ino_t> file_ {};
};

// READY=1, STOPPING=1, STATUS=… to systemd's NOTIFY_SOCKET, when there is one.
void notifySystemd(const std::string& state);

// Takes every waiting connection of `listener` into `clients` (a map from
// an id to values holding `fd` and `peer`) under a fresh id, while there is
// room for its user; the others are closed at once.
template<typename Clients> void acceptInto(Listener& listener, Clients& clients, std::uint64_t& lastId, Limits limits)
{
    for (const Peer& peer : listener.acceptAll()) {
        if (!hasRoom(clients, peer.credentials.uid, limits)) {
            ::close(peer.fd);
            continue;
        }
        typename Clients::mapped_type client;
        client.fd = peer.fd;
        client.peer = peer.credentials;
        clients.emplace(++lastId, std::move(client));
    }
}

} // namespace corvatek::service
