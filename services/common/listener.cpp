#include "listener.h"

#include "log.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvatek::service {

Listener::~Listener()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Listener::listen(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.front() != '/' || path.size() >= sizeof address.sun_path) {
        log(Priority::Error,
            "the socket's path must be absolute and shorter than " + std::to_string(sizeof address.sun_path) +
                " bytes: " + path);
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    const std::string folder = path.substr(0, std::max<std::size_t>(1, path.rfind('/')));
    if (::mkdir(folder.c_str(), 0755) == 0)
        ::chmod(folder.c_str(), 0755); // whatever the umask: every user connects
    else if (errno != EEXIST) {
        log(Priority::Error, "the socket's folder " + folder + " cannot be made: " + std::strerror(errno));
        return false;
    }
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        log(Priority::Error, std::string("no socket: ") + std::strerror(errno));
        return false;
    }
    struct stat info { };
    if (::lstat(path.c_str(), &info) == 0) {
        const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const bool answered =
            probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (!S_ISSOCK(info.st_mode) || answered) {
            log(Priority::Error,
                path + (answered ? " is in use by another service" : " is no socket") + ": not replaced");
            return false;
        }
        ::unlink(path.c_str());
    }
    const mode_t mask = ::umask(0111);
    const bool bound = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::chmod(path.c_str(), 0666) != 0 || ::listen(fd_, 128) != 0) {
        log(Priority::Error, "cannot listen on " + path + ": " + std::strerror(errno));
        return false;
    }
    if (::lstat(path.c_str(), &info) == 0)
        file_ = {info.st_dev, info.st_ino};
    path_ = path;
    return true;
}

std::vector<Peer> Listener::acceptAll()
{
    std::vector<Peer> peers;
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN)
                log(Priority::Warning, std::string("a connection was not taken: ") + std::strerror(errno));
            return peers;
        }
        Peer peer;
        peer.fd = fd;
        socklen_t length = sizeof peer.credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer.credentials, &length) == 0)
            peers.push_back(peer);
        else
            ::close(fd);
    }
}

void Listener::remove()
{
    struct stat named { };
    if (!path_.empty() && ::lstat(path_.c_str(), &named) == 0 && named.st_dev == file_.first &&
        named.st_ino == file_.second)
        ::unlink(path_.c_str());
}

void notifySystemd(const std::string& state)
{
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || (*path != '/' && *path != '@'))
        return;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path, length);
    if (*path == '@')
        address.sun_path[0] = '\0'; // an abstract socket
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
            socklen_t(offsetof(sockaddr_un, sun_path) + length)) < 0)
        log(Priority::Warning, "systemd could not be told \"" + state + "\": " + std::strerror(errno));
    ::close(fd);
}

} // namespace corvatek::service
