#include "site.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>
#include <optional>

namespace corvatek::sites {
namespace {

// What the resolver is given: the name in its ASCII form (an international
// name in IDNA), nothing when it has none.
std::optional<std::string> asciiName(const std::string& typed)
{
    if (std::all_of(typed.begin(), typed.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return typed;
    const QByteArray ace = QUrl::toAce(QString::fromUtf8(typed));
    if (ace.isEmpty())
        return std::nullopt;
    return ace.toStdString();
}

} // namespace

std::string siteOf(int argc, const char* const* argv)
{
    std::string site;
    for (int i = 1; i < argc; ++i)
        site.append(i > 1 ? " " : "").append(argv[i]);
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!site.empty() && blank(site.back()))
        site.pop_back();
    std::size_t start = 0;
    while (start < site.size() && blank(site[start]))
        ++start;
    return site.substr(start);
}

Query queryFor(const std::string& site)
{
    const std::optional<std::string> name = asciiName(site);
    if (!name || name->empty())
        return {};
    in_addr address {};
    char text[INET_ADDRSTRLEN];
    if (::inet_pton(AF_INET, name->c_str(), &address) == 1)
        return ::inet_ntop(AF_INET, &address, text, sizeof text) ? Query {Query::Address, text} : Query {};
    addrinfo numeric {};
    numeric.ai_family = AF_INET;
    numeric.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name->c_str(), nullptr, &numeric, &found) == 0) {
        ::freeaddrinfo(found);
        return {};
    }
    return {Query::Name, *name};
}

} // namespace corvatek::sites
