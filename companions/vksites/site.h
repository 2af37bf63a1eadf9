// What the user typed on the sites page, and what of it the resolver is
// asked.
#pragma once

#include <string>

namespace corvatek::sites {

// The control centre hands the typed text over as a parameter text, which
// splits at blanks: the parts are joined by one blank again (a name with a
// blank then finds no address, rather than its first word finding one), and
// blanks and control characters around the whole dropped.
std::string siteOf(int argc, const char* const* argv);

struct Query {
    enum Kind {
        Address, // typed as a dotted quad: `text` is the address
        Name, // to look up: `text` is its ASCII form (IDNA)
        Nothing, // no address can come of it
    } kind = Nothing;
    std::string text;
};

// Only a dotted quad typed as such is an address: the resolver would read
// "127.1", "0x7f.1" or "0177.0.0.1" as one too, but they are names, and
// names of that form it never looks up.
Query queryFor(const std::string& site);

} // namespace corvatek::sites
