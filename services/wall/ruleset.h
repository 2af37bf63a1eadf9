// The service's nftables tables, made whole from the policies in force and
// each replaced in one transaction. Their chains only refuse, so they live
// beside firewalld or ufw. `inet corvatek` holds everything and is owned by
// the service's netlink socket: when the service dies, the kernel drops it,
// and nothing filters as if the tool did not run. `inet corvatek_always`
// holds what a user with the firewall always on keeps whatever happens (the
// closed ports, the protocol blocks): no socket owns it.
#pragma once

#include "policy.h"

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

struct nft_ctx;

namespace corvatek::wall {

// The machine's own networks, as address/prefix, which the Internet switch
// leaves open along with the private and link-local ones.
struct LocalNetworks {
    std::vector<std::string> v4;
    std::vector<std::string> v6;
};
LocalNetworks localNetworks();

enum class Table { InForce, Always };

// A table's text for the policies in force (firewall on or always), by
// user; empty when there is nothing to filter, and the table is then removed.
std::string rulesetText(Table table, const std::map<uid_t, Policy>& policies, const LocalNetworks& local);

class Ruleset {
public:
    Ruleset();
    ~Ruleset();
    Ruleset(const Ruleset&) = delete;
    Ruleset& operator=(const Ruleset&) = delete;

    // Replaces the table with `text` (removes it when empty); false with
    // nftables' words when the kernel refused it, the old table then staying.
    bool apply(Table table, const std::string& text, std::string& error);

private:
    nft_ctx* context_ = nullptr;
};

} // namespace corvatek::wall
