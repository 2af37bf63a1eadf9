// A guard client for tests, run as the user it guards: asks the service to
// guard it with the flags given, then prints each datagram it is sent, one
// per line, fields apart by tabs. Reads new flags from standard input, one
// set per line, and asks again.
//
//   guardlistener <socket> <twelve flags> <download folder>
#include "scanning/guardclient.h"

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace guard = corvatek::scanning::guard;

int main(int argc, char** argv)
{
    if (argc != 4 || std::strlen(argv[2]) != 12)
        return 2;
    guard::Client client(argv[1]);
    guard::Guarding guarding;
    guarding.downloads = argv[3];
    const auto ask = [&](const char* flags) {
        for (std::size_t i = 0; i < guarding.flags.size(); ++i)
            guarding.flags[i] = flags[i] == '1';
        return client.post(guard::guardText(guarding));
    };
    if (!client.connect() || !ask(argv[2]))
        return 1;
    std::string line;
    for (;;) {
        pollfd polled[] {{client.socket(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(polled, 2, -1) < 0)
            return 1;
        if (polled[0].revents) {
            char buffer[guard::kMaxEvent + 1];
            const ssize_t n = ::recv(client.socket(), buffer, sizeof buffer, 0);
            if (n <= 0)
                return 0;
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[i] == '\0')
                    buffer[i] = '\t';
            std::printf("%.*s\n", int(n), buffer);
            std::fflush(stdout);
        }
        if (polled[1].revents) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) != 1)
                return 0;
            if (c != '\n') {
                line += c;
            } else {
                if (line.size() == 12 && !ask(line.c_str()))
                    return 1;
                line.clear();
            }
        }
    }
}
