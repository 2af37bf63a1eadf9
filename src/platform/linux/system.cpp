// This program's folder and this machine's name and address on Linux.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <climits>
#include <netdb.h>
#include <unistd.h>

namespace corvatek::platform {

std::string programFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

std::string networkStatisticsToolName()
{
    return "netstat";
}

std::optional<std::string> hostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return std::nullopt;
    return std::string(buffer);
}

std::optional<std::string> firstIPv4Address(const std::string& host)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    if (!ok)
        return std::nullopt;
    return std::string(text);
}

} // namespace corvatek::platform
