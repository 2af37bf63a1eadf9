#include "policy.h"

#include <arpa/inet.h>
#include <charconv>

namespace corvatek::wall {
namespace {

std::string_view word(std::string_view& text, char separator = ' ')
{
    const std::size_t end = text.find(separator);
    const std::string_view first = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return first;
}

template<typename Number> bool number(std::string_view text, Number& value)
{
    return !text.empty() &&
        std::from_chars(text.data(), text.data() + text.size(), value).ptr == text.data() + text.size();
}

bool isAddress(const std::string& text)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, text.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

} // namespace

std::vector<std::uint16_t> portsOf(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Ftp: return {21};
    case Protocol::Telnet: return {23};
    case Protocol::Smtp: return {25, 465, 587};
    case Protocol::Dns: return {53};
    case Protocol::Http: return {80};
    case Protocol::Https: return {443};
    case Protocol::Pop3: return {110, 995};
    }
    return {};
}

std::string policyText(const Policy& policy)
{
    std::string text = std::string(kVersion) + " policy ";
    for (const bool on : policy.options)
        text += on ? '1' : '0';
    text += ' ';
    text += fileText(policy.firewall);
    text += '\0';
    for (std::size_t i = 0; i < policy.closedPorts.size(); ++i)
        text += (i ? "," : "") + std::to_string(policy.closedPorts[i]);
    text += '\0';
    for (std::size_t i = 0; i < policy.sites.size(); ++i)
        text += (i ? "," : "") + policy.sites[i];
    text += '\0';
    for (std::size_t i = 0; i < policy.programs.size(); ++i) {
        const ProgramRule& rule = policy.programs[i];
        text += (i ? "," : "") + std::string(rule.verdict == Verdict::Allow ? "a:" : "r:") +
            std::to_string(rule.file.device) + ':' + std::to_string(rule.file.inode);
    }
    text += '\0';
    for (std::size_t i = 0; i < policy.quarantined.size(); ++i)
        text += (i ? "/" : "") + policy.quarantined[i];
    return text;
}

std::optional<Policy> parsePolicy(std::string_view text)
{
    if (text.size() > kMaxMessage || word(text) != kVersion || word(text) != "policy")
        return std::nullopt;
    std::string_view head = word(text, '\0');
    std::string_view ports = word(text, '\0');
    std::string_view sites = word(text, '\0');
    std::string_view programs = word(text, '\0');
    std::string_view quarantined = text;
    if (quarantined.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::string_view options = word(head);
    const std::optional<FirewallMode> firewall = valueOf<FirewallMode>(head);
    Policy policy;
    if (options.size() != policy.options.size() || !firewall)
        return std::nullopt;
    policy.firewall = *firewall;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] != '0' && options[i] != '1')
            return std::nullopt;
        policy.options[i] = options[i] == '1';
    }
    while (!ports.empty()) {
        const std::string_view item = word(ports, ',');
        unsigned port = 0;
        if (std::from_chars(item.data(), item.data() + item.size(), port).ptr != item.data() + item.size() ||
            item.empty() || port == 0 || port > 65535)
            return std::nullopt;
        policy.closedPorts.push_back(std::uint16_t(port));
    }
    while (!sites.empty()) {
        std::string item(word(sites, ','));
        if (!isAddress(item))
            return std::nullopt;
        policy.sites.push_back(std::move(item));
    }
    while (!programs.empty()) {
        std::string_view item = word(programs, ',');
        const std::string_view verdict = word(item, ':');
        ProgramRule rule;
        if ((verdict != "a" && verdict != "r") || !number(word(item, ':'), rule.file.device) ||
            !number(item, rule.file.inode))
            return std::nullopt;
        rule.verdict = verdict == "a" ? Verdict::Allow : Verdict::Refuse;
        policy.programs.push_back(rule);
    }
    while (!quarantined.empty()) {
        const std::string_view name = word(quarantined, '/');
        if (name.empty())
            return std::nullopt;
        policy.quarantined.emplace_back(name);
    }
    return policy;
}

std::string answerText(const Answer& answer)
{
    std::string text =
        std::string(kVersion) + ' ' + std::to_string(answer.uid) + (answer.applied ? " applied" : " error");
    if (!answer.detail.empty())
        for (const char c : " " + answer.detail.substr(0, 400))
            text += (unsigned char)c < 0x20 ? '?' : c;
    return text;
}

std::optional<Answer> parseAnswer(std::string_view text)
{
    if (text.size() > kMaxMessage || word(text) != kVersion)
        return std::nullopt;
    Answer answer;
    if (!number(word(text), answer.uid))
        return std::nullopt;
    const std::string_view kind = word(text);
    if (kind != "applied" && kind != "error")
        return std::nullopt;
    answer.applied = kind == "applied";
    answer.detail = text;
    return answer;
}

std::string eventText(const ConnectionEvent& event)
{
    return std::string(kVersion) + " event " + std::to_string(int(event.kind)) + ' ' + std::to_string(event.pid) + ' ' +
        std::to_string(event.program.device) + ' ' + std::to_string(event.program.inode) + ' ' +
        std::to_string(event.port) + ' ' + event.address + '\0' + event.processName + '\0' + event.path;
}

std::optional<ConnectionEvent> parseEvent(std::string_view text)
{
    if (text.size() > kMaxMessage || word(text) != kVersion || word(text) != "event")
        return std::nullopt;
    std::string_view head = word(text, '\0');
    ConnectionEvent event;
    int kind = 0;
    if (!number(word(head), kind) || kind < int(ConnectionEvent::Kind::Refused) ||
        kind > int(ConnectionEvent::Kind::Quarantined) || !number(word(head), event.pid) ||
        !number(word(head), event.program.device) || !number(word(head), event.program.inode) ||
        !number(word(head), event.port) || !isAddress(std::string(head)))
        return std::nullopt;
    event.kind = ConnectionEvent::Kind(kind);
    event.address = head;
    event.processName = word(text, '\0');
    event.path = text;
    if (event.path.find('\0') != std::string::npos || (!event.path.empty() && event.path.front() != '/'))
        return std::nullopt;
    return event;
}

} // namespace corvatek::wall
