// This program's folder and this machine's name and address on Windows. The
// address comes from the adapters, not from resolving the host name: that
// may give a virtual machine's or a VPN's adapter before the real one.
// Winsock's header must come before windows.h, which wide.h brings.
#include <winsock2.h>

#include <iphlpapi.h>

#include "platform/system.h"

#include "wide.h"

#include <vector>

namespace corvatek::platform {
namespace {

using windows::utf8;

std::string dotted(const SOCKADDR* address)
{
    const auto* bytes =
        reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2]) + '.' +
        std::to_string(bytes[3]);
}

// The adapter's first IPv4 address; empty when it has none or is not a
// working interface of a network.
std::string usableAddress(const IP_ADAPTER_ADDRESSES* adapter)
{
    if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
        return {};
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
        if (unicast->Address.lpSockaddr && unicast->Address.lpSockaddr->sa_family == AF_INET)
            return dotted(unicast->Address.lpSockaddr);
    }
    return {};
}

} // namespace

std::string programFolder()
{
    // Paths may be longer than MAX_PATH: grow until the whole name fits.
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return ".\\";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768)
            return ".\\";
        path.resize(path.size() * 2);
    }
    return utf8(path.substr(0, path.find_last_of(L"\\/") + 1));
}

// The DNS host name as UTF-16: gethostname would give it in the ANSI code
// page, garbling a name outside it, and needs the socket library started.
std::optional<std::string> hostName()
{
    DWORD size = 0;
    ::GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
    if (size == 0)
        return std::nullopt;
    std::wstring name(size, L'\0');
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size))
        return std::nullopt;
    name.resize(size);
    return utf8(name);
}

std::optional<std::string> machineAddress()
{
    constexpr ULONG kFlags =
        GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status;
    do {
        buffer.resize(size);
        status = ::GetAdaptersAddresses(
            AF_INET, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    } while (status == ERROR_BUFFER_OVERFLOW);
    if (status == ERROR_NO_DATA)
        return std::string("127.0.0.1");
    if (status != NO_ERROR)
        return std::nullopt;
    const auto* adapters = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());

    // The route toward 0.0.0.0 is the default route.
    DWORD routed = 0;
    const bool hasRoute = ::GetBestInterface(0, &routed) == NO_ERROR;
    for (auto* adapter = adapters; adapter && hasRoute; adapter = adapter->Next) {
        if (adapter->IfIndex == routed) {
            if (std::string address = usableAddress(adapter); !address.empty())
                return address;
        }
    }
    // Else an adapter with a gateway leads further than the local network.
    for (auto* adapter = adapters; adapter; adapter = adapter->Next) {
        if (adapter->FirstGatewayAddress) {
            if (std::string address = usableAddress(adapter); !address.empty())
                return address;
        }
    }
    for (auto* adapter = adapters; adapter; adapter = adapter->Next) {
        if (std::string address = usableAddress(adapter); !address.empty())
            return address;
    }
    // Not on any network.
    return std::string("127.0.0.1");
}

} // namespace corvatek::platform
