// The instance's message channel: a Unix stream socket in the user's runtime
// folder, readable by the user alone.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

constexpr int kWaitMs = 1000;
constexpr std::size_t kMaxMessage = 4096;

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

std::vector<std::string> acceptLocalMessages(int listener)
{
    std::vector<std::string> messages;
    while (true) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            break;
        // A sender writes its line and closes; never wait on one for long.
        std::string text;
        char buffer[512];
        pollfd ready {client, POLLIN, 0};
        while (text.size() < kMaxMessage && ::poll(&ready, 1, kWaitMs) > 0) {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, std::size_t(n));
        }
        ::close(client);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            messages.push_back(text.substr(start, end - start));
    }
    return messages;
}

bool sendLocalMessage(const std::string& path, const std::string& line)
{
    sockaddr_un where;
    if (!address(path, where))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const std::string text = line + "\n";
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0 &&
        ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return sent;
}

} // namespace corvatek::platform
