#include "settings.h"

#include "common/filename.h"
#include "data/filenames.h"
#include "data/tables.h"
#include "data/values.h"

#include <QString>

#include <arpa/inet.h>
#include <chrono>
#include <set>

namespace corvatek::vkwall {
namespace {

// Long enough for the control centre's own save; a busy file is read again
// at the next change or the next second.
constexpr std::chrono::milliseconds kTableWait {500};
constexpr int kSiteControlFlag = 7; // configuration.xml's, also option 12

bool isAddress(const std::string& text)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, text.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

} // namespace

std::optional<std::array<bool, 13>> optionsOf(int argc, char** argv)
{
    std::array<bool, 13> options {};
    if (argc != int(options.size()) + 1)
        return std::nullopt;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::optional<Switch> value = valueOf<Switch>(argv[i + 1]);
        if (!value)
            return std::nullopt;
        options[i] = *value == Switch::On;
    }
    return options;
}

wall::Policy readPolicy(
    const data::ProgramFiles& files, const std::array<bool, 13>& options, const std::optional<wall::Policy>& inForce)
{
    wall::Policy policy = inForce.value_or(wall::Policy {});
    policy.options = options;
    if (inForce) {
        policy.options[11] = inForce->options[11];
        policy.options[12] = inForce->options[12];
    }
    if (const data::FlagRead mode = files.readFlag(files::FirewallMode); mode.value)
        policy.firewall = valueOf<FirewallMode>(mode.value->trimmed().toStdString()).value_or(FirewallMode::Off);
    else if (!inForce)
        policy.firewall = FirewallMode::Off;
    if (const data::FlagRead control = files.readFlag(files::SiteControl); control.value)
        policy.options[12] = valueOf<Switch>(control.value->trimmed().toStdString()) == Switch::On;
    if (const data::TableLoad configuration = files.loadTable(files::Configuration, kTableWait); configuration.ok()) {
        const int field = configuration.table.fieldIndex(data::fieldName(kSiteControlFlag));
        policy.options[11] = field >= 0 && configuration.table.rowCount() > 0 &&
            valueOf<Switch>(configuration.table.value(0, field).toStdString()) == Switch::On;
    }
    if (const data::LinesRead ports = files.readLines(files::ClosedPorts); ports.ok()) {
        std::set<std::uint16_t> closed;
        for (qsizetype i = 0; i < ports.lines.size(); ++i) {
            bool number = false;
            const uint port = ports.lines.at(i).trimmed().toUInt(&number);
            if (number && port >= 1 && port <= 65535) // a port past 65535 is no port: passed over
                closed.insert(std::uint16_t(port));
        }
        policy.closedPorts.assign(closed.begin(), closed.end());
    }
    if (const data::TableLoad sites = files.loadTable(files::Sites, kTableWait); sites.ok()) {
        const int field = sites.table.fieldIndex(data::fields::Address);
        std::set<std::string> addresses;
        for (qsizetype row = 0; field >= 0 && row < sites.table.rowCount(); ++row) {
            const std::string address = sites.table.value(row, field).trimmed().toStdString();
            if (isAddress(address)) // a site whose lookup found nothing has no address
                addresses.insert(address);
        }
        policy.sites.assign(addresses.begin(), addresses.end());
    }
    return policy;
}

std::vector<std::string> quarantined(const data::ProgramFiles& files)
{
    std::vector<std::string> names;
    const data::TableLoad quarantine = files.loadTable(files::Quarantine, kTableWait);
    const int field = quarantine.ok() ? quarantine.table.fieldIndex(data::fields::Name) : -1;
    for (qsizetype row = 0; field >= 0 && row < quarantine.table.rowCount(); ++row) {
        const QString name = data::trimmedName(quarantine.table.value(row, field));
        if (!name.isEmpty())
            names.push_back(name.toStdString());
    }
    return names;
}

bool isPolicyFile(std::string_view name)
{
    for (const files::FileName file : {files::FirewallMode, files::ClosedPorts, files::Sites, files::SiteControl,
             files::Configuration, files::Quarantine, files::Rules})
        if (companion::fileName(file) == name)
            return true;
    return false;
}

} // namespace corvatek::vkwall
