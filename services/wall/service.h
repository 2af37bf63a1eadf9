// The network tool's service: each user's policy, handed over by that
// user's client (who it is comes from SO_PEERCRED), turned into the one
// nftables table. A policy with the firewall on lasts while its client is
// connected; with the firewall always on, until the user turns it off.
#pragma once

#include "common/listener.h"
#include "hooks.h"
#include "policy.h"
#include "ruleset.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include <sys/socket.h>

namespace corvatek::wall {

class Service {
public:
    explicit Service(std::string socketPath);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Listens, tells systemd it is ready, serves until SIGTERM or SIGINT.
    int run();

private:
    struct Client {
        int fd = -1;
        ucred peer {};
        std::optional<Policy> policy;
    };

    void accept();
    void receive(std::uint64_t id);
    void drop(std::uint64_t id);
    // Makes the table and the per-program decisions from the policies in
    // force; why not, when nftables refused.
    std::string applyPolicies();
    // Hands a decided connection to the clients of the user who made it.
    void tell(uid_t uid, const ConnectionEvent& event);
    // The policies with the firewall always on outlive the service in the
    // runtime folder, as their rules outlive it in the kernel.
    std::map<uid_t, Policy> alwaysOn() const;
    std::string alwaysOnText() const;
    void saveAlwaysOn();
    void loadAlwaysOn();
    // Whether the last run died; since when, as the file it kept alive says.
    void lookForDeath();

    const std::string socketPath_;
    service::Listener listener_;
    Ruleset ruleset_;
    ConnectionHooks hooks_;
    LocalNetworks local_;
    int signals_ = -1;
    std::unordered_map<std::uint64_t, Client> clients_;
    std::map<uid_t, Policy> kept_; // firewall always on, no client connected
    std::uint64_t lastId_ = 0;
    std::string savedAlwaysOn_; // what wall.kept holds
    std::optional<long long> diedAt_;
    std::set<uid_t> toldOfDeath_;
};

} // namespace corvatek::wall
