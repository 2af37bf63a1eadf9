// The network tool's bench load, run inside the bench's namespaces:
//   bench_wall_connect listen <port>                 accepts and drops, until killed
//   bench_wall_connect connect <address> <port> <n>  n connections one after another;
//       exit 0 all made, 3 one refused by a hook (EPERM), 4 another failure
//   bench_wall_connect spawn <address> <port> <n> [+|-]<program>...
//       n short-lived programs, taking the list in turn, each making one
//       connection; prints how many did not end as their sign says
//       (+ connects, - is refused)
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

sockaddr_in addressOf(const char* host, int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1)
        std::exit(2);
    return address;
}

int listen(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in any {};
    any.sin_family = AF_INET;
    any.sin_port = htons(std::uint16_t(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 || ::listen(fd, 4096) != 0)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
    }
}

int connectMany(const char* host, int port, long count)
{
    const sockaddr_in address = addressOf(host, port);
    // Closed at once with a reset: ten thousand connections leave no TIME_WAIT.
    const linger reset {1, 0};
    for (long i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return errno == EPERM ? 3 : 4;
        ::close(fd);
    }
    return 0;
}

int spawnMany(const char* host, const char* port, long count, int programs, char** list)
{
    long wrong = 0;
    for (long i = 0; i < count; ++i) {
        const char* entry = list[i % programs];
        const bool allowed = entry[0] == '+';
        char* arguments[] = {const_cast<char*>(entry + 1), const_cast<char*>("connect"), const_cast<char*>(host),
            const_cast<char*>(port), const_cast<char*>("1"), nullptr};
        pid_t child = 0;
        int status = 0;
        if (::posix_spawn(&child, entry + 1, nullptr, nullptr, arguments, environ) != 0 ||
            ::waitpid(child, &status, 0) != child)
            return 2;
        const int said = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        wrong += allowed ? said != 0 : said != 3;
    }
    std::printf("%ld\n", wrong);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "listen" && argc == 3)
        return listen(std::atoi(argv[2]));
    if (mode == "connect" && argc == 5)
        return connectMany(argv[2], std::atoi(argv[3]), std::atol(argv[4]));
    if (mode == "spawn" && argc > 5)
        return spawnMany(argv[2], argv[3], std::atol(argv[4]), argc - 5, argv + 5);
    std::fprintf(stderr,
        "usage: bench_wall_connect listen <port> | connect <address> <port> <n> | "
        "spawn <address> <port> <n> [+|-]<program>...\n");
    return 2;
}
