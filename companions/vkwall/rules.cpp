#include "rules.h"

#include "walltexts.h"

#include "data/filenames.h"
#include "data/tables.h"
#include "localisation/timeformat.h"
#include "platform/filecontent.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::vkwall {
namespace {

constexpr std::chrono::milliseconds kTableWait {500};
constexpr std::size_t kKernelNameLimit = 15;

bool sameFile(const std::string& path, const wall::ProgramFile& file)
{
    struct stat facts { };
    return !path.empty() && ::stat(path.c_str(), &facts) == 0 && std::uint64_t(facts.st_dev) == file.device &&
        std::uint64_t(facts.st_ino) == file.inode;
}

QString addressText(const wall::ConnectionEvent& event)
{
    const QString address = QString::fromStdString(event.address);
    return (address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address) +
        QLatin1Char(':') + QString::number(event.port);
}

} // namespace

std::optional<wall::Verdict> verdictOf(const QString& action)
{
    const std::string text = action.trimmed().toStdString();
    for (std::size_t language = 0; language < localisation::kLanguageCount; ++language) {
        if (text == companion::pattern(companion::Language(language), companion::WallText::RuleAllowed))
            return wall::Verdict::Allow;
        if (text == companion::pattern(companion::Language(language), companion::WallText::RuleRefused))
            return wall::Verdict::Refuse;
    }
    return std::nullopt;
}

std::optional<ProgramRules> readRules(const data::ProgramFiles& files)
{
    const data::TableLoad load = files.loadTable(files::Rules, kTableWait);
    if (load.status == data::FileStatus::Missing)
        return ProgramRules {};
    if (!load.ok())
        return std::nullopt;
    const data::Table& table = load.table;
    const int path = table.fieldIndex(data::fields::Path);
    const int action = table.fieldIndex(data::fields::Action);
    const int signature = table.fieldIndex(data::fields::StoredSignature);
    std::map<wall::ProgramFile, wall::Verdict> byFile;
    ProgramRules read;
    for (qsizetype row = 0; path >= 0 && action >= 0 && row < table.rowCount(); ++row) {
        const std::string file = table.value(row, path).toStdString();
        const std::optional<wall::Verdict> verdict = verdictOf(table.value(row, action));
        struct stat facts { };
        if (file.empty() || !verdict)
            continue;
        read.paths.push_back(file);
        if (::stat(file.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode))
            continue;
        const QString kept = signature >= 0 ? table.value(row, signature).trimmed() : QString();
        if (!kept.isEmpty()) {
            const std::optional<std::uint32_t> now = platform::fileFacts(file).signature;
            if (!now || QString::number(*now) != kept)
                continue;
        }
        const wall::ProgramFile key {std::uint64_t(facts.st_dev), std::uint64_t(facts.st_ino)};
        // Where rules disagree, the refusal holds.
        auto [at, added] = byFile.emplace(key, *verdict);
        if (!added && *verdict == wall::Verdict::Refuse)
            at->second = wall::Verdict::Refuse;
    }
    for (const auto& [file, verdict] : byFile)
        read.rules.push_back({file, verdict});
    std::sort(read.paths.begin(), read.paths.end());
    read.paths.erase(std::unique(read.paths.begin(), read.paths.end()), read.paths.end());
    return read;
}

ProgramSeen programOf(const wall::ConnectionEvent& event)
{
    ProgramSeen seen;
    seen.path = event.path;
    seen.verified = sameFile(seen.path, event.program);
    if (!seen.verified) {
        // Too deep for the kernel's walk, or another mount namespace's.
        char target[4096];
        const std::string link = "/proc/" + std::to_string(event.pid) + "/exe";
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && sameFile(std::string(target, std::size_t(n)), event.program)) {
            seen.path.assign(target, std::size_t(n));
            seen.verified = true;
        }
    }
    const std::string base = seen.path.substr(seen.path.rfind('/') + 1);
    // The kernel cuts the file's name at 15 characters; the process list
    // completes it.
    seen.name =
        event.processName.size() >= kKernelNameLimit && base.starts_with(event.processName) ? base : event.processName;
    if (seen.verified) {
        const platform::FileFacts facts = platform::fileFacts(seen.path);
        seen.modified = facts.modified;
        seen.signature = facts.signature;
    }
    return seen;
}

std::string actionText(companion::Language language, const wall::ConnectionEvent& event)
{
    using Kind = wall::ConnectionEvent::Kind;
    const companion::WallText text = event.kind == Kind::Refused ? companion::WallText::RefusedByRule
        : event.kind == Kind::UnknownRefused                     ? companion::WallText::UnknownRefused
        : event.kind == Kind::UnknownAllowed                     ? companion::WallText::UnknownAllowed
                                                                 : companion::WallText::QuarantinedRefused;
    return companion::say(language, text, {addressText(event).toStdString()});
}

companion::TableRow alertRow(
    companion::Language language, const wall::ConnectionEvent& event, const ProgramSeen& program)
{
    const QDateTime now = QDateTime::currentDateTime();
    companion::TableRow row {{data::fields::Name, QString::fromStdString(program.name)},
        {data::fields::Moment, localisation::shortDateLongTime(now)},
        {data::fields::Action, QString::fromStdString(actionText(language, event))},
        {data::fields::Version,
            program.modified ? localisation::shortDate(QDateTime::fromSecsSinceEpoch(*program.modified).date())
                             : QStringLiteral("?")},
        {data::fields::Path, QString::fromStdString(program.path)}};
    return row;
}

std::optional<companion::TableRow> ruleRow(
    companion::Language language, const wall::ConnectionEvent& event, const ProgramSeen& program)
{
    // Only a program let through gets a rule, and only when its file is known.
    if (event.kind != wall::ConnectionEvent::Kind::UnknownAllowed || !program.verified)
        return std::nullopt;
    companion::TableRow row = alertRow(language, event, program);
    row[2].second = QString::fromStdString(std::string(companion::pattern(language, companion::WallText::RuleAllowed)));
    if (program.signature)
        row.emplace_back(data::fields::StoredSignature, QString::number(*program.signature));
    return row;
}

} // namespace corvatek::vkwall
