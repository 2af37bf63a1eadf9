// The per-program decisions: a BPF program on the root cgroup's connect and
// sendmsg hooks, with its maps filled from the users' rules. Held by links
// that close with the service, so when it dies nothing is decided any more.
#pragma once

#include "policy.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace corvatek::wall {

// What one user's programs are decided by.
struct ProgramPolicy {
    bool refuseUnknown = false;
    std::map<ProgramFile, Verdict> rules;
    std::vector<std::string> quarantined; // process names
    bool operator==(const ProgramPolicy&) const = default;
};

// The kernel's number for a device, from stat()'s.
std::uint64_t kernelDevice(std::uint64_t statDevice);
std::uint64_t statDevice(std::uint64_t kernelDevice);

class ConnectionHooks {
public:
    ConnectionHooks();
    ~ConnectionHooks();
    ConnectionHooks(const ConnectionHooks&) = delete;
    ConnectionHooks& operator=(const ConnectionHooks&) = delete;

    // Loads and attaches; false with the reason when this kernel or the
    // service's rights cannot (nothing is then decided per program).
    bool start(std::string& why);

    // The users' policies in force; the others' programs pass undecided.
    void apply(const std::map<uid_t, ProgramPolicy>& policies);

    // Readable when events wait; take() hands each to `told`, with the uid
    // of the process that connected.
    using Told = std::function<void(uid_t, const ConnectionEvent&)>;
    int eventDescriptor() const;
    void take(const Told& told);

private:
    struct State;
    std::unique_ptr<State> state_;
    std::map<uid_t, ProgramPolicy> applied_;
};

} // namespace corvatek::wall
