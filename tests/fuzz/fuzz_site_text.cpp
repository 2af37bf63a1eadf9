// What the user typed on the sites page: the typed text joined as the site
// lookup receives it, and what of it the resolver is asked.
#include "finding.h"
#include "site.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input split at NUL into the arguments the lookup is started with.
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += char(data[i]);
    }
    std::vector<const char*> argv {"vksites.exe"};
    for (const std::string& part : parts)
        argv.push_back(part.c_str());
    const std::string site = corvatek::sites::siteOf(int(argv.size()), argv.data());
    if (!site.empty() && (static_cast<unsigned char>(site.front()) <= ' ' || static_cast<unsigned char>(site.back()) <= ' '))
        fail("the site keeps a blank or a control character at an end");

    const corvatek::sites::Query query = corvatek::sites::queryFor(site);
    switch (query.kind) {
    case corvatek::sites::Query::Address: {
        // Four decimal numbers, written as the system writes them back.
        in_addr address {};
        char text[INET_ADDRSTRLEN];
        if (::inet_pton(AF_INET, query.text.c_str(), &address) != 1 ||
            !::inet_ntop(AF_INET, &address, text, sizeof text) || query.text != text)
            fail("an address is not a plain dotted quad");
        break;
    }
    case corvatek::sites::Query::Name:
        if (query.text.empty())
            fail("an empty name is looked up");
        for (const char c : query.text) {
            if (static_cast<unsigned char>(c) >= 0x80 || c == '\0')
                fail("a name is looked up in other than ASCII");
        }
        break;
    case corvatek::sites::Query::Nothing: break;
    }
    return 0;
}
