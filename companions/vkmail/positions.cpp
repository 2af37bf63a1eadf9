#include "positions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace corvatek::vkmail {
namespace {

constexpr std::string_view kHead = "corvatek-mail/1";
constexpr std::string_view kEnd = "end";
// The newest infected messages remembered as told.
constexpr std::size_t kToldKept = 4096;
// A larger file is none of ours.
constexpr std::size_t kMostRead = 512u << 20;

bool escaped(char c)
{
    return c == '%' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

void put(std::string& out, std::string_view field)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : field) {
        if (escaped(c)) {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string unescaped(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size() && hexDigit(field[i + 1]) >= 0 && hexDigit(field[i + 2]) >= 0) {
            out += char(hexDigit(field[i + 1]) << 4 | hexDigit(field[i + 2]));
            i += 2;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return parts;
        start = tab + 1;
    }
}

template<typename Number> bool number(std::string_view text, Number& value, int base = 10)
{
    return !text.empty() &&
        std::from_chars(text.data(), text.data() + text.size(), value, base).ptr == text.data() + text.size();
}

template<typename Number> void putNumber(std::string& out, Number value, int base = 10)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value, base).ptr;
    out.append(text, end);
}

// A finding's fields, in this order.
constexpr std::size_t kFindingFields = 14;

std::optional<Finding> findingOf(const std::vector<std::string_view>& parts)
{
    if (parts.size() != kFindingFields)
        return std::nullopt;
    Finding finding;
    finding.infected = parts[1] == "infected";
    finding.maildir = parts[2] == "maildir";
    finding.store = unescaped(parts[3]);
    finding.junk = unescaped(parts[4]);
    finding.subfolder = unescaped(parts[5]);
    finding.name = unescaped(parts[6]);
    finding.from = unescaped(parts[7]);
    finding.sender = unescaped(parts[8]);
    finding.date = unescaped(parts[9]);
    finding.subject = unescaped(parts[10]);
    finding.signature = unescaped(parts[11]);
    finding.moment = unescaped(parts[12]);
    if (!number(parts[13], finding.key, 16))
        return std::nullopt;
    return finding;
}

void putFinding(std::string& out, const Finding& finding)
{
    out += "pending\t";
    out += finding.infected ? "infected\t" : "blocked\t";
    out += finding.maildir ? "maildir" : "mbox";
    for (const std::string* field : {&finding.store, &finding.junk, &finding.subfolder, &finding.name, &finding.from,
             &finding.sender, &finding.date, &finding.subject, &finding.signature, &finding.moment}) {
        out += '\t';
        put(out, *field);
    }
    out += '\t';
    putNumber(out, finding.key, 16);
    out += '\n';
}

// One line of the stores' part into `positions`; false when it is none.
bool readLine(std::string_view line, Positions& positions)
{
    const std::vector<std::string_view> parts = fields(line);
    const std::string_view kind = parts[0];
    if (kind == "mbox" && parts.size() == 10) {
        MboxPlace place;
        if (!number(parts[1], place.device) || !number(parts[2], place.inode) || !number(parts[3], place.offset) ||
            !number(parts[4], place.lastStart) || !number(parts[5], place.check, 16) || !number(parts[7], place.size) ||
            !number(parts[8], place.modified))
            return false;
        place.complete = parts[6] == "1";
        positions.mboxes[unescaped(parts[9])] = place;
        return true;
    }
    if (kind == "maildir" && parts.size() == 5) {
        MaildirPlace place;
        if (!number(parts[2], place.newModified) || !number(parts[3], place.curModified))
            return false;
        place.complete = parts[1] == "1";
        positions.maildirs[unescaped(parts[4])] = std::move(place);
        return true;
    }
    if (kind == "pending") {
        std::optional<Finding> finding = findingOf(parts);
        if (finding)
            positions.pending.push_back(std::move(*finding));
        return finding.has_value();
    }
    if (kind == "stuck" && parts.size() == 3) {
        positions.stuckAt = unescaped(parts[2]);
        return number(parts[1], positions.stuckTimes);
    }
    return false;
}

} // namespace

std::uint64_t hashOf(std::string_view bytes, std::uint64_t seed)
{
    std::uint64_t hash = seed;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<Positions> parsePositions(std::string_view text, bool storesOnly)
{
    Positions positions;
    std::size_t at = 0;
    const auto nextLine = [&](std::string_view& line) {
        if (at >= text.size())
            return false;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        line = text.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != kHead)
        return std::nullopt;
    bool ended = false;
    while (nextLine(line)) {
        if (line == kEnd) {
            ended = true;
            break;
        }
        if (!readLine(line, positions))
            return std::nullopt;
    }
    // A file cut short is none that was written.
    if (!ended)
        return std::nullopt;
    if (storesOnly)
        return positions;
    MaildirPlace* folder = nullptr;
    while (nextLine(line)) {
        if (line.starts_with("told\t")) {
            const std::vector<std::string_view> parts = fields(line);
            for (std::size_t i = 1; i < parts.size(); ++i) {
                std::uint64_t key = 0;
                if (number(parts[i], key, 16))
                    positions.told.push_back(key);
            }
            folder = nullptr;
        } else if (line.starts_with("names\t")) {
            const auto found = positions.maildirs.find(unescaped(line.substr(6)));
            folder = found == positions.maildirs.end() ? nullptr : &found->second;
        } else if (folder) {
            folder->seen.push_back(unescaped(line));
        }
    }
    for (auto& [path, place] : positions.maildirs) {
        std::sort(place.seen.begin(), place.seen.end());
        place.seen.erase(std::unique(place.seen.begin(), place.seen.end()), place.seen.end());
    }
    return positions;
}

std::string positionsText(const Positions& positions)
{
    std::string out(kHead);
    out += '\n';
    for (const auto& [path, place] : positions.mboxes) {
        out += "mbox\t";
        for (const std::uint64_t value : {place.device, place.inode, place.offset, place.lastStart}) {
            putNumber(out, value);
            out += '\t';
        }
        putNumber(out, place.check, 16);
        out += place.complete ? "\t1\t" : "\t0\t";
        putNumber(out, place.size);
        out += '\t';
        putNumber(out, place.modified);
        out += '\t';
        put(out, path);
        out += '\n';
    }
    for (const auto& [path, place] : positions.maildirs) {
        out += place.complete ? "maildir\t1\t" : "maildir\t0\t";
        putNumber(out, place.newModified);
        out += '\t';
        putNumber(out, place.curModified);
        out += '\t';
        put(out, path);
        out += '\n';
    }
    for (const Finding& finding : positions.pending)
        putFinding(out, finding);
    if (!positions.stuckAt.empty()) {
        out += "stuck\t";
        putNumber(out, positions.stuckTimes);
        out += '\t';
        put(out, positions.stuckAt);
        out += '\n';
    }
    out += kEnd;
    out += '\n';
    // Only a run with something to look at needs these.
    if (!positions.told.empty()) {
        out += "told";
        const std::size_t first = positions.told.size() > kToldKept ? positions.told.size() - kToldKept : 0;
        for (std::size_t i = first; i < positions.told.size(); ++i) {
            out += '\t';
            putNumber(out, positions.told[i], 16);
        }
        out += '\n';
    }
    for (const auto& [path, place] : positions.maildirs) {
        if (place.seen.empty())
            continue;
        out += "names\t";
        put(out, path);
        out += '\n';
        for (const std::string& name : place.seen) {
            put(out, name);
            out += '\n';
        }
    }
    return out;
}

PositionsRead readPositions(const std::string& path, bool storesOnly)
{
    PositionsRead read;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        read.status = errno == ENOENT ? PositionsRead::Missing : PositionsRead::Damaged;
        return read;
    }
    // The stores come first: reading stops at their end when that is all
    // that is wanted.
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > kMostRead)
            break;
        const std::size_t before = text.size();
        text.append(buffer, std::size_t(n));
        if (storesOnly && text.find("\nend\n", before >= 4 ? before - 4 : 0) != std::string::npos)
            break;
    }
    ::close(fd);
    std::optional<Positions> positions = parsePositions(text, storesOnly);
    read.status = positions ? PositionsRead::Ok : PositionsRead::Damaged;
    if (positions)
        read.positions = std::move(*positions);
    return read;
}

} // namespace corvatek::vkmail
