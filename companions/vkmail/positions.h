// vkmail.pos: where the filter stopped in each store, and what a run found
// but had not recorded yet when it was stopped. Text, one record a line,
// fields apart by tabs, with '%', tabs, line ends and NUL written as %XX.
// The stores come first, up to the line "end", then what only a run with
// something to look at needs (the messages told, the names seen in each
// Maildir folder): a run with nothing new reads only the first part.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkmail {

struct MboxPlace {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t offset = 0; // where the next message starts
    std::uint64_t lastStart = 0; // where the last message looked at starts
    std::uint64_t check = 0; // of its first line and of the bytes before offset
    // Everything was looked at while the file had this size and time.
    bool complete = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds
};

struct MaildirPlace {
    // new/ and cur/ were listed whole, and what they held looked at, while
    // they had these times.
    bool complete = false;
    std::int64_t newModified = 0;
    std::int64_t curModified = 0;
    std::vector<std::string> seen; // unique names (before ':'), sorted
};

// A message found infected or from a blocked sender, recorded before it is
// told anywhere, so that a run stopped half-way finishes it exactly once.
struct Finding {
    bool infected = true; // else from a blocked sender
    bool maildir = false;
    std::string store;
    std::string junk; // Maildir: where it goes
    std::string subfolder; // Maildir: "new" or "cur", as it was found
    std::string name; // Maildir: its file name then
    std::string from;
    std::string sender;
    std::string date;
    std::string subject;
    std::string signature;
    std::string moment; // of its alert
    std::uint64_t key = 0;
};

struct Positions {
    std::map<std::string, MboxPlace> mboxes;
    std::map<std::string, MaildirPlace> maildirs;
    std::vector<Finding> pending;
    // Infected messages already told, so that an mbox rewritten by its mail
    // program is looked at again without telling them twice. The newest kept.
    std::vector<std::uint64_t> told;
    // The message the engine was lost on, and how many runs in a row (0:
    // lost on a batch of messages; the next run asks about each alone).
    std::string stuckAt;
    int stuckTimes = 0;
};

// Nothing when the text is no positions file. `storesOnly` reads up to
// "end", leaving the rest out.
std::optional<Positions> parsePositions(std::string_view text, bool storesOnly);
std::string positionsText(const Positions& positions);

// Reads the file; Missing is a first run.
struct PositionsRead {
    enum Status { Ok, Missing, Damaged } status = Missing;
    Positions positions;
};
PositionsRead readPositions(const std::string& path, bool storesOnly);

// FNV-1a, for the checks and keys kept.
std::uint64_t hashOf(std::string_view bytes, std::uint64_t seed = 14695981039346656037ull);

} // namespace corvatek::vkmail
