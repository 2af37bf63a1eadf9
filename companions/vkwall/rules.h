// The user's rules for programs (regles.xml) as the service decides by them,
// and what the client writes when the service tells it of a connection: an
// alert, an "allowed" rule for an unknown program let through, a
// notification above level 1.
#pragma once

#include "common/tablerows.h"
#include "common/texts.h"
#include "data/programfiles.h"
#include "wall/policy.h"

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace corvatek::vkwall {

// Each rule's program by inode, for the rules whose file is still the one
// the rule was made for (the signature the rule keeps): a program changed
// since its rule counts as unknown again.
struct ProgramRules {
    std::vector<wall::ProgramRule> rules;
    std::vector<std::string> paths; // every rule's file, so that a change to one is seen
    bool operator==(const ProgramRules&) const = default;
};
// Nothing while the file is busy; no rules when there is none.
std::optional<ProgramRules> readRules(const data::ProgramFiles& files);

// The verdict of a rule's action, written in any of the languages.
std::optional<wall::Verdict> verdictOf(const QString& action);

// What the client knows of the program behind a connection.
struct ProgramSeen {
    std::string name; // as the control centre's process list names it
    std::string path; // empty when unknown
    bool verified = false; // the path names the file the kernel saw
    std::optional<std::int64_t> modified;
    std::optional<std::uint32_t> signature;
};
ProgramSeen programOf(const wall::ConnectionEvent& event);

// The rows for one connection, in `language`.
companion::TableRow alertRow(
    companion::Language language, const wall::ConnectionEvent& event, const ProgramSeen& program);
std::optional<companion::TableRow> ruleRow(
    companion::Language language, const wall::ConnectionEvent& event, const ProgramSeen& program);
std::string actionText(companion::Language language, const wall::ConnectionEvent& event);

} // namespace corvatek::vkwall
