// The network side of the firewall tests, run inside the test's namespaces:
//   netprobe listen <port>...        TCP and UDP on each port, until killed
//   netprobe connect <address> <port>  prints connected, refused, forbidden
//                                      (a hook said no), unreachable or
//                                      timeout (after a second)
//   netprobe send <address> <port>     one UDP datagram: sent or forbidden
//   netprobe ping <address>            prints answered or silent (a second)
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

sockaddr_storage addressOf(const char* text, unsigned port, socklen_t& length)
{
    sockaddr_storage address {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(std::uint16_t(port));
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(std::uint16_t(port));
        length = sizeof *v6;
    } else {
        std::exit(2);
    }
    return address;
}

int listen(int argc, char** argv)
{
    std::vector<pollfd> polled;
    for (int i = 2; i < argc; ++i) {
        for (const int type : {SOCK_STREAM, SOCK_DGRAM}) {
            const int fd = ::socket(AF_INET6, type, 0);
            const int no = 0, yes = 1;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            sockaddr_in6 any {};
            any.sin6_family = AF_INET6;
            any.sin6_port = htons(std::uint16_t(std::atoi(argv[i])));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
                (type == SOCK_STREAM && ::listen(fd, 64) != 0))
                return 1;
            polled.push_back({fd, POLLIN, 0});
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        ::poll(polled.data(), polled.size(), -1);
        for (std::size_t i = 0; i < polled.size(); ++i) {
            if (!(polled[i].revents & POLLIN))
                continue;
            if (i % 2 == 0) {
                ::close(::accept(polled[i].fd, nullptr, nullptr));
            } else {
                char byte;
                sockaddr_storage from {};
                socklen_t length = sizeof from;
                const ssize_t n = ::recvfrom(polled[i].fd, &byte, 1, 0, reinterpret_cast<sockaddr*>(&from), &length);
                if (n >= 0)
                    ::sendto(polled[i].fd, &byte, 1, 0, reinterpret_cast<sockaddr*>(&from), length);
            }
        }
    }
}

int connect(const char* host, unsigned port)
{
    socklen_t length = 0;
    const sockaddr_storage address = addressOf(host, port, length);
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const char* said = "timeout";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        said = "connected";
    } else if (errno == EINPROGRESS) {
        pollfd waiting {fd, POLLOUT, 0};
        if (::poll(&waiting, 1, 1000) == 1) {
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            said = error == 0 ? "connected" : error == ECONNREFUSED ? "refused" : "unreachable";
        }
    } else {
        said = errno == ECONNREFUSED ? "refused" : errno == EPERM ? "forbidden" : "unreachable";
    }
    std::printf("%s\n", said);
    return 0;
}

int send(const char* host, unsigned port)
{
    socklen_t length = 0;
    const sockaddr_storage address = addressOf(host, port, length);
    const int fd = ::socket(address.ss_family, SOCK_DGRAM, 0);
    const bool sent = ::sendto(fd, "x", 1, 0, reinterpret_cast<const sockaddr*>(&address), length) == 1;
    std::printf("%s\n", sent ? "sent" : errno == EPERM ? "forbidden" : "unsent");
    return 0;
}

int ping(const char* host)
{
    socklen_t length = 0;
    const sockaddr_storage address = addressOf(host, 0, length);
    const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    icmphdr echo {};
    echo.type = ICMP_ECHO;
    echo.un.echo.id = htons(std::uint16_t(::getpid()));
    unsigned sum = 0;
    const auto* words = reinterpret_cast<const std::uint16_t*>(&echo);
    for (std::size_t i = 0; i < sizeof echo / 2; ++i)
        sum += words[i];
    echo.checksum = std::uint16_t(~((sum & 0xffff) + (sum >> 16)));
    ::sendto(fd, &echo, sizeof echo, 0, reinterpret_cast<const sockaddr*>(&address), length);
    pollfd waiting {fd, POLLIN, 0};
    char reply[256];
    while (::poll(&waiting, 1, 1000) == 1) {
        const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
        if (n >= 28 && reply[20] == ICMP_ECHOREPLY) {
            std::printf("answered\n");
            return 0;
        }
    }
    std::printf("silent\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "listen" && argc > 2)
        return listen(argc, argv);
    if (mode == "connect" && argc == 4)
        return connect(argv[2], unsigned(std::atoi(argv[3])));
    if (mode == "send" && argc == 4)
        return send(argv[2], unsigned(std::atoi(argv[3])));
    if (mode == "ping" && argc == 3)
        return ping(argv[2]);
    std::fprintf(stderr, "usage: netprobe listen <port>... | connect|send <address> <port> | ping <address>\n");
    return 2;
}
