#include "ruleset.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <nftables/libnftables.h>
#include <set>

namespace corvatek::wall {
namespace {

std::string tableName(Table table)
{
    return table == Table::InForce ? "inet corvatek" : "inet corvatek_always";
}

std::string tableFlags(Table table)
{
    return table == Table::InForce ? "flags owner; " : "";
}

// What stays of a policy with the firewall always on when the service is
// not there: the closed ports and the protocol blocks.
Policy alwaysPart(Policy policy)
{
    policy.options[8] = true; // the Internet switch needs the local networks kept fresh
    policy.options[11] = policy.options[12] = false;
    return policy;
}
// What the Internet switch leaves open besides the machine's own networks.
constexpr const char* kPrivate4 = "10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, 100.64.0.0/10";
constexpr const char* kPrivate6 = "fe80::/10, fc00::/7";

template<typename Items> std::string listed(const Items& items)
{
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += ", ";
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(item)>>)
            text += std::to_string(item);
        else
            text += item;
    }
    return text;
}

bool isV6(const std::string& address)
{
    return address.find(':') != std::string::npos;
}

int prefixLength(const unsigned char* mask, std::size_t size)
{
    int bits = 0;
    for (std::size_t i = 0; i < size; ++i)
        for (int bit = 7; bit >= 0 && (mask[i] >> bit & 1); --bit)
            ++bits;
    return bits;
}

// A network in the form nftables reads: the address with its host bits
// cleared, then the prefix length.
std::string network(const unsigned char* address, const unsigned char* mask, std::size_t size, int family)
{
    unsigned char cleared[16];
    for (std::size_t i = 0; i < size; ++i)
        cleared[i] = address[i] & mask[i];
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(family, cleared, text, sizeof text))
        return {};
    return std::string(text) + "/" + std::to_string(prefixLength(mask, size));
}

std::string userChain(uid_t uid, const Policy& policy)
{
    std::string chain = "  chain user_" + std::to_string(uid) + " {\n";
    std::set<std::uint16_t> blocked;
    for (const Protocol protocol : kProtocols)
        if (policy.blocks(protocol))
            for (const std::uint16_t port : portsOf(protocol))
                blocked.insert(port);
    if (!blocked.empty()) {
        chain += "    tcp dport { " + listed(blocked) + " } reject with tcp reset\n";
        chain += "    udp dport { " + listed(blocked) + " } reject\n";
    }
    if (policy.siteControl()) {
        std::vector<std::string> v4, v6;
        for (const std::string& site : policy.sites)
            (isV6(site) ? v6 : v4).push_back(site);
        if (!v4.empty())
            chain += "    ip daddr { " + listed(v4) + " } reject\n";
        if (!v6.empty())
            chain += "    ip6 daddr { " + listed(v6) + " } reject\n";
    }
    if (!policy.internet()) {
        chain += "    ip daddr != @local4 reject\n";
        chain += "    ip6 daddr != @local6 reject\n";
    }
    return chain + "  }\n";
}

} // namespace

LocalNetworks localNetworks()
{
    LocalNetworks local;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        return local;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !entry->ifa_netmask || !(entry->ifa_flags & IFF_UP))
            continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
            local.v4.push_back(network(reinterpret_cast<const unsigned char*>(&address->sin_addr),
                reinterpret_cast<const unsigned char*>(&mask->sin_addr), 4, AF_INET));
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            const auto* mask = reinterpret_cast<const sockaddr_in6*>(entry->ifa_netmask);
            local.v6.push_back(network(address->sin6_addr.s6_addr, mask->sin6_addr.s6_addr, 16, AF_INET6));
        }
    }
    ::freeifaddrs(interfaces);
    std::erase(local.v4, std::string());
    std::erase(local.v6, std::string());
    return local;
}

std::string rulesetText(Table table, const std::map<uid_t, Policy>& inForce, const LocalNetworks& local)
{
    std::map<uid_t, Policy> policies;
    for (const auto& [uid, policy] : inForce)
        if (table == Table::InForce ? policy.firewall != FirewallMode::Off : policy.firewall == FirewallMode::Always)
            policies[uid] = table == Table::InForce ? policy : alwaysPart(policy);
    std::set<std::uint16_t> closed;
    bool stealth = false;
    std::string users;
    for (const auto& [uid, policy] : policies) {
        closed.insert(policy.closedPorts.begin(), policy.closedPorts.end());
        stealth = stealth || policy.stealth();
        users += userChain(uid, policy);
    }
    if (users.empty())
        return {};
    std::string local4 = kPrivate4, local6 = kPrivate6;
    for (const std::string& net : local.v4)
        local4 += ", " + net;
    for (const std::string& net : local.v6)
        local6 += ", " + net;
    std::string text = "table " + tableName(table) + " {\n  " + tableFlags(table) + "\n";
    text += "  set local4 { type ipv4_addr; flags interval; auto-merge; elements = { " + local4 + " } }\n";
    text += "  set local6 { type ipv6_addr; flags interval; auto-merge; elements = { " + local6 + " } }\n";
    // Incoming: the closed ports, and in stealth no answer at all. Only when
    // there is something to refuse: the chain's connection tracking costs
    // every new connection of the machine.
    if (!closed.empty() || stealth) {
        text += "  chain input {\n    type filter hook input priority filter; policy accept;\n";
        if (!closed.empty()) {
            // A reply to one of the machine's own connections may come to a
            // port that happens to be closed.
            text += "    ct state established,related accept\n    iifname \"lo\" accept\n";
            text += "    tcp dport { " + listed(closed) + (stealth ? " } drop\n" : " } reject with tcp reset\n");
            text += "    udp dport { " + listed(closed) + (stealth ? " } drop\n" : " } reject\n");
        }
        if (stealth)
            text += "    icmp type echo-request drop\n    icmpv6 type echo-request drop\n";
        text += "  }\n";
    }
    // Outgoing: each user's own chain; the machine talking to itself is
    // never the network's business.
    text +=
        "  chain output {\n    type filter hook output priority filter; policy accept;\n    oifname \"lo\" accept\n";
    for (const auto& [uid, policy] : policies)
        text += "    meta skuid " + std::to_string(uid) + " jump user_" + std::to_string(uid) + "\n";
    text += "  }\n";
    return text + users + "}\n";
}

Ruleset::Ruleset() : context_(::nft_ctx_new(NFT_CTX_DEFAULT))
{
    if (context_) {
        ::nft_ctx_buffer_output(context_);
        ::nft_ctx_buffer_error(context_);
    }
}

Ruleset::~Ruleset()
{
    if (context_)
        ::nft_ctx_free(context_);
}

bool Ruleset::apply(Table table, const std::string& text, std::string& error)
{
    if (!context_) {
        error = "nftables could not be reached";
        return false;
    }
    // Made if missing, so that deleting it never fails, then replaced: one
    // transaction, so no packet ever sees half a table.
    const std::string name = tableName(table);
    const std::string commands =
        "add table " + name + " { " + tableFlags(table) + "}\ndelete table " + name + "\n" + text;
    if (::nft_run_cmd_from_buffer(context_, commands.c_str()) == 0)
        return true;
    // A table of that name that is not the service's (left by hand, or by a
    // run that had none of its own) goes first.
    if (::nft_run_cmd_from_buffer(context_, ("delete table " + name).c_str()) == 0 &&
        ::nft_run_cmd_from_buffer(context_, commands.c_str()) == 0)
        return true;
    error = ::nft_ctx_get_error_buffer(context_);
    while (!error.empty() && (error.back() == '\n' || error.back() == ' '))
        error.pop_back();
    return false;
}

} // namespace corvatek::wall
