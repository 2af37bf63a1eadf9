// The service's one nftables table, `inet corvatek`, made whole from the
// policies in force and replaced in one transaction. Its chains only refuse,
// so it lives beside firewalld or ufw. The table is owned by the service's
// netlink socket: when the service dies, the kernel drops it, and nothing
// filters as if the tool did not run.
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

// The table's text for the policies in force (firewall on or always), by
// user; empty when there is none, and the table is then removed.
std::string rulesetText(const std::map<uid_t, Policy>& policies, const LocalNetworks& local);

class Ruleset {
public:
    Ruleset();
    ~Ruleset();
    Ruleset(const Ruleset&) = delete;
    Ruleset& operator=(const Ruleset&) = delete;

    // Replaces the table with `text` (removes it when empty); false with
    // nftables' words when the kernel refused it, the old table then staying.
    bool apply(const std::string& text, std::string& error);

private:
    nft_ctx* context_ = nullptr;
};

} // namespace corvatek::wall
