#include "guardclient.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace corvatek::scanning::guard {

std::string chosenSocket()
{
    if (const char* socket = std::getenv("CORVATEK_GUARD_SOCKET"); socket && *socket)
        return socket;
    if (const char* signatures = std::getenv("CORVATEK_SIGNATURES"); signatures && *signatures)
        return {};
    return std::string(kDefaultSocket);
}

bool sendRequest(int socket, Request request, int fd)
{
    const std::string text = requestText(request);
    iovec segment {const_cast<char*>(text.data()), text.size()};
    msghdr message {};
    message.msg_iov = &segment;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(text.size());
}

std::vector<std::string_view> fields(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t end = text.find('\0');
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            return parts;
        text.remove_prefix(end + 1);
    }
}

Client::Client(std::string socketPath, std::chrono::milliseconds wait) : path_(std::move(socketPath)), wait_(wait) { }

Client::~Client()
{
    disconnect();
}

void Client::disconnect()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool Client::connect()
{
    disconnect();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path_.data(), path_.size());
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        disconnect();
        return false;
    }
    return true;
}

std::optional<Answer> Client::ask(Request request, int fd)
{
    if (fd_ < 0)
        return std::nullopt;
    if (!sendRequest(fd_, request, fd)) {
        disconnect();
        return std::nullopt;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait_;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting {fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, int(std::min<long long>(left.count(), 60000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[kMaxMessage + 1];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0 || std::size_t(n) > kMaxMessage)
            break;
        if (auto answer = parseAnswer(std::string_view(buffer, std::size_t(n))))
            return answer;
        break;
    }
    // A late answer would be taken for the next request's.
    disconnect();
    return std::nullopt;
}

bool Client::post(std::string_view text)
{
    if (fd_ < 0)
        return false;
    ssize_t sent;
    do
        sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != ssize_t(text.size())) {
        disconnect();
        return false;
    }
    return true;
}

bool Client::ready()
{
    if (!connect())
        return false;
    // The event loop answers a ping itself: a service that takes longer
    // is not one to hand a scan to.
    const auto wait = std::exchange(wait_, std::min<std::chrono::milliseconds>(wait_, std::chrono::seconds(5)));
    const std::optional<Answer> answer = ask(Request::Ping);
    wait_ = wait;
    unsigned long signatures = 0;
    const bool counted = answer && answer->kind == Answer::Ready &&
        std::from_chars(answer->detail.data(), answer->detail.data() + answer->detail.size(), signatures).ec ==
            std::errc();
    if (!counted || signatures == 0) {
        disconnect();
        return false;
    }
    return true;
}

} // namespace corvatek::scanning::guard
