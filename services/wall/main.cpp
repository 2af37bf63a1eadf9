// corvatek-wall: the system service that keeps the network tool's nftables
// table, from the policies its users' clients hand it. No arguments; the
// socket is /run/corvatek/wall.socket.
//
// Exit status: 0 stopped by SIGTERM or SIGINT, 1 could not serve, 2 an
// argument given.
#include "common/log.h"
#include "policy.h"
#include "service.h"

#include <csignal>
#include <iostream>

int main(int argc, char**)
{
    using namespace corvatek;
    if (argc > 1) {
        std::cerr << "usage: corvatek-wall (no arguments)\n";
        return 2;
    }
    service::setLogName("corvatek-wall");
    std::signal(SIGPIPE, SIG_IGN);
    wall::Service service {std::string(wall::kDefaultSocket)};
    return service.run();
}
