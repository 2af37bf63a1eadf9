// The instance's message channel: a Unix stream socket in the user's private
// folder. The listening side never waits: every descriptor it hands out is
// non-blocking, and the caller decides how long a connection may stay.
#include "platform/localsocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

bool address(const std::string& path, sockaddr_un& out)
{
    out = {};
    out.sun_family = AF_UNIX;
    if (path.size() >= sizeof out.sun_path)
        return false;
    std::memcpy(out.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

int listenLocal(const std::string& path)
{
    sockaddr_un where;
    if (!address(path, where))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    ::unlink(path.c_str()); // the caller holds the instance lock: any socket here is stale
    const mode_t previous = ::umask(0077);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    ::umask(previous);
    if (!bound || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int acceptLocal(int listener)
{
    while (true) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        // A connection its sender gave up on before it was taken: take the next.
        if (client < 0 && (errno == EINTR || errno == ECONNABORTED))
            continue;
        return client;
    }
}

LocalRead readLocal(int connection, std::size_t limit)
{
    LocalRead got;
    char buffer[512];
    while (got.bytes.size() < limit) {
        const ssize_t n = ::read(connection, buffer, std::min(sizeof buffer, limit - got.bytes.size()));
        if (n > 0) {
            got.bytes.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        got.ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    return got;
}

void closeLocal(int descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool sendLocalMessage(const std::string& path, const std::string& line)
{
    sockaddr_un where;
    if (!address(path, where))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A listener that stopped taking connections would hold connect() for
    // good once its queue is full; a second start must end regardless.
    const timeval wait {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const std::string text = line + "\n";
    // No SIGPIPE when the listener has already dropped the connection.
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0 &&
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    ::close(fd);
    return sent;
}

} // namespace corvatek::platform
