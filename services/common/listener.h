// What every service does to be reached: a SOCK_SEQPACKET socket every user
// may connect to, and systemd told how it goes.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>

namespace corvatek::service {

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

} // namespace corvatek::service
