// What any user hands the network service, which turns it into nftables
// rules and per-program decisions as root: a policy that parses is written
// back to the same policy, and holds only ports, addresses and names without
// a '/'. What the service tells a client reads back the same too.
#include "finding.h"
#include "wall/policy.h"

#include <arpa/inet.h>
#include <cstdint>
#include <string_view>

namespace wall = corvatek::wall;
using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<wall::Policy> policy = wall::parsePolicy(text)) {
        for (const std::uint16_t port : policy->closedPorts)
            if (port == 0)
                fail("port 0 is taken");
        for (const std::string& site : policy->sites) {
            unsigned char bytes[16];
            if (::inet_pton(AF_INET, site.c_str(), bytes) != 1 && ::inet_pton(AF_INET6, site.c_str(), bytes) != 1)
                fail("a site that is no address is taken");
        }
        for (const std::string& name : policy->quarantined)
            if (name.empty() || name.find('/') != std::string::npos)
                fail("a quarantined name with a '/' or none is taken");
        if (wall::parsePolicy(wall::policyText(*policy)) != policy)
            fail("a policy does not read back");
    }
    if (const std::optional<wall::Answer> answer = wall::parseAnswer(text)) {
        const std::optional<wall::Answer> again = wall::parseAnswer(wall::answerText(*answer));
        if (!again || again->applied != answer->applied || again->uid != answer->uid)
            fail("an answer does not read back");
    }
    if (const std::optional<wall::ConnectionEvent> event = wall::parseEvent(text))
        if (wall::parseEvent(wall::eventText(*event)) != event)
            fail("an event does not read back");
    return 0;
}
