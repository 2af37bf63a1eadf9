// The messages of an mbox file from a place on: each runs from a line
// starting "From " up to the next such line (whatever comes before the
// first one is a message of its own), copied into a memory file for the
// engine, which may hold several: each after a "From " line and followed by
// a blank line, as an mbox holds them. The file is only ever read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkmail {

// The "From " line a message without one is given in a memory file.
inline constexpr std::string_view kBatchSeparator = "From vkmail@localhost Thu Jan  1 00:00:00 1970\n";

bool writeAll(int fd, const char* bytes, std::size_t size);

// Appends a Maildir message (the file `fd`) to `sink` as an mbox holds it:
// a From line first when it has none, a blank line after. False when it
// holds a line an mbox would take for the start of another message, or a
// write failed; what was appended is then the caller's to cut.
bool appendAsMboxMessage(int sink, int fd);
// A memory file holding [offset, offset + size) of the file, read from its
// start; -1 when it could not be made.
int memoryCopy(int fd, std::uint64_t offset, std::uint64_t size);

struct MboxMessage {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    // It ends where the file ended: one still being written may go on.
    bool last = false;
    // Larger than the engine scans: not copied.
    bool tooLarge = false;
    std::uint64_t written = 0; // into the memory file
    std::string head; // its first bytes, for its header
    std::uint64_t check = 0; // what a place after it keeps (see checkAt)
};

class MboxReader {
public:
    // Reads [from, to) of the open file.
    MboxReader(int fd, std::uint64_t from, std::uint64_t to);
    MboxReader(const MboxReader&) = delete;
    MboxReader& operator=(const MboxReader&) = delete;

    // The next message, written to `sink` where it stands; nothing at the
    // end, or when reading or writing failed (then `error` says why).
    std::optional<MboxMessage> next(int sink);
    const std::string& error() const { return error_; }

private:
    bool fill();
    std::size_t available() const { return length_ - used_; }

    int fd_;
    std::uint64_t at_; // of the next byte not yet taken
    std::uint64_t to_;
    std::uint64_t readTo_; // of the next byte not yet read
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::size_t length_ = 0;
    std::string error_;
};

// What the file holds at a place: a hash of the first line of the message
// that starts at `lastStart` and of the bytes just before `offset`. A file
// that still gives the same was only added to after the place.
std::optional<std::uint64_t> checkAt(int fd, std::uint64_t lastStart, std::uint64_t offset);

} // namespace corvatek::vkmail
