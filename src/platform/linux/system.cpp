// This program's folder and this machine's name and address on Linux.
// /etc/hosts names the machine 127.0.1.1 on Debian, so the name's address
// would say "no network" on a machine that has one: the address comes from
// the interfaces instead.
#include "platform/system.h"
#include "platform/processes.h"

#include <arpa/inet.h>
#include <climits>
#include <cstdio>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <net/route.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

// The interface of the default route with the lowest metric; empty when
// there is none or the routing table cannot be read.
std::string defaultRouteInterface()
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> table(std::fopen("/proc/net/route", "re"), std::fclose);
    if (!table)
        return {};
    std::string best;
    unsigned long bestMetric = ULONG_MAX;
    char line[512];
    if (!std::fgets(line, sizeof line, table.get())) // the heading
        return {};
    while (std::fgets(line, sizeof line, table.get())) {
        char name[IF_NAMESIZE + 1] = {};
        unsigned long destination = 0, gateway = 0, mask = 0, metric = 0;
        unsigned flags = 0, references = 0, use = 0;
        if (std::sscanf(line, "%16s %lx %lx %x %u %u %lu %lx", name, &destination, &gateway, &flags, &references, &use,
                &metric, &mask) != 8)
            continue;
        if (destination == 0 && mask == 0 && (flags & RTF_UP) && (best.empty() || metric < bestMetric)) {
            best = name;
            bestMetric = metric;
        }
    }
    return best;
}

std::string textOf(const sockaddr* address)
{
    char text[INET_ADDRSTRLEN] = {};
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) ? std::string(text) : std::string();
}

} // namespace

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

std::optional<std::string> machineAddress()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    const auto isUpIPv4 = [](const ifaddrs* entry) {
        return entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP) &&
            !(entry->ifa_flags & IFF_LOOPBACK);
    };
    const std::string routed = defaultRouteInterface();
    for (const ifaddrs* entry = list; entry && !routed.empty(); entry = entry->ifa_next) {
        if (isUpIPv4(entry) && routed == entry->ifa_name)
            return textOf(entry->ifa_addr);
    }
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (isUpIPv4(entry))
            return textOf(entry->ifa_addr);
    }
    // Not on any network.
    return std::string("127.0.0.1");
}

} // namespace corvatek::platform
