// Listens on loopback over TCP and UDP, IPv4 and IPv6, each on a port the
// system picks, prints "<kind>/<port>" for each it could open (a machine may
// lack IPv6), then "ready", and waits to be killed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

int listenOn(int family, int type)
{
    const int fd = ::socket(family, type, 0);
    sockaddr_storage address {};
    socklen_t size;
    if (family == AF_INET6) {
        const int only = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        auto* six = reinterpret_cast<sockaddr_in6*>(&address);
        six->sin6_family = AF_INET6;
        six->sin6_addr = in6addr_loopback;
        size = sizeof *six;
    } else {
        auto* four = reinterpret_cast<sockaddr_in*>(&address);
        four->sin_family = AF_INET;
        four->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof *four;
    }
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 4) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return -1;
    return ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

} // namespace

int main()
{
    const struct {
        const char* kind;
        int family;
        int type;
    } sockets[] = {{"tcp", AF_INET, SOCK_STREAM}, {"tcp6", AF_INET6, SOCK_STREAM}, {"udp", AF_INET, SOCK_DGRAM},
        {"udp6", AF_INET6, SOCK_DGRAM}};
    for (const auto& socket : sockets) {
        const int port = listenOn(socket.family, socket.type);
        if (port > 0)
            std::printf("%s/%d\n", socket.kind, port);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
