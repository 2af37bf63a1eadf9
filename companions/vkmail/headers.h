// What a message's header says of it, read from however much of its start
// was kept: a header block of any size, any bytes, is read without harm.
#pragma once

#include <string>
#include <string_view>

namespace corvatek::vkmail {

// The most of a message's start that is kept for its header.
inline constexpr std::size_t kHeadKept = 64 * 1024;

struct MessageHead {
    std::string from; // decoded, as UTF-8
    std::string sender; // the first address of From, lower case; empty when none
    std::string date; // as written
    std::string subject; // decoded, as UTF-8
    std::string messageId;
};

// Reads the header block at the start of `bytes`, past an mbox "From "
// line; it ends at the first empty line or with the bytes.
MessageHead readHead(std::string_view bytes);

// A header's text as UTF-8: RFC 2047 encoded words (B and Q) of UTF-8,
// ISO-8859-1, ISO-8859-15, Windows-1252 and US-ASCII decoded, words of
// other character sets left as written, raw 8-bit bytes taken as UTF-8
// when they are, else as Windows-1252.
std::string decodeHeader(std::string_view text);

// The first address a From header names ("Ann <ann@example.org>",
// "ann@example.org (Ann)"), lower case; empty when it names none.
std::string addressOf(std::string_view from);

// An entry of the blocked senders' list as it is compared: blanks and
// angle brackets around it dropped, lower case.
std::string listedSender(std::string_view line);

} // namespace corvatek::vkmail
