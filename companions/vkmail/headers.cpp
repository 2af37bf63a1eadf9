#include "headers.h"

#include "data/eightbit.h"

#include <array>
#include <cstdint>
#include <optional>

namespace corvatek::vkmail {
namespace {

// A header value longer than this is cut: nothing shown of it needs more.
constexpr std::size_t kValueKept = 4096;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lower(c);
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

enum class Charset { Utf8, Latin1, Latin9, Windows1252 };

std::optional<Charset> charsetNamed(std::string_view name)
{
    // RFC 2231 lets a language follow the charset.
    name = name.substr(0, name.find('*'));
    const std::string n = lowered(name);
    if (n == "utf-8" || n == "utf8")
        return Charset::Utf8;
    if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "us-ascii" || n == "ascii")
        return Charset::Latin1;
    if (n == "iso-8859-15" || n == "iso8859-15" || n == "latin9")
        return Charset::Latin9;
    if (n == "windows-1252" || n == "cp1252")
        return Charset::Windows1252;
    return std::nullopt;
}

char32_t latin9(unsigned char c)
{
    switch (c) {
    case 0xA4: return u'€';
    case 0xA6: return u'Š';
    case 0xA8: return u'š';
    case 0xB4: return u'Ž';
    case 0xB8: return u'ž';
    case 0xBC: return u'Œ';
    case 0xBD: return u'œ';
    case 0xBE: return u'Ÿ';
    default: return c;
    }
}

std::string toUtf8(std::string_view bytes, Charset charset)
{
    if (charset == Charset::Utf8 && data::isValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // Bytes that claimed to be UTF-8 and are not: the usual Windows text.
        data::appendCodePoint(out,
            charset == Charset::Latin1       ? char32_t(byte)
                : charset == Charset::Latin9 ? latin9(byte)
                                             : data::windows1252(byte));
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::string decodeQ(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string decodeB(std::string_view text)
{
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const int value = base64Value(c);
        if (value < 0)
            continue; // padding, or what a sender broke
        bits = bits << 6 | std::uint32_t(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
    return out;
}

struct EncodedWord {
    std::size_t end; // past its "?="
    std::string text; // decoded, UTF-8
};

// The encoded word starting at `at` ("=?"), when it is one this knows.
std::optional<EncodedWord> encodedWordAt(std::string_view text, std::size_t at)
{
    const std::size_t charsetEnd = text.find('?', at + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
        return std::nullopt;
    const char encoding = lower(text[charsetEnd + 1]);
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t textEnd = text.find("?=", textStart);
    if ((encoding != 'b' && encoding != 'q') || textEnd == std::string_view::npos)
        return std::nullopt;
    const std::string_view encoded = text.substr(textStart, textEnd - textStart);
    for (const char c : encoded) {
        if (isBlank(c))
            return std::nullopt;
    }
    const std::optional<Charset> charset = charsetNamed(text.substr(at + 2, charsetEnd - at - 2));
    if (!charset)
        return std::nullopt;
    const std::string bytes = encoding == 'b' ? decodeB(encoded) : decodeQ(encoded);
    return EncodedWord {textEnd + 2, toUtf8(bytes, *charset)};
}

std::string raw(std::string_view bytes)
{
    return toUtf8(bytes, Charset::Utf8);
}

// The address within angle brackets, or the first word holding '@',
// outside quoted strings and comments.
std::string firstAddress(std::string_view from)
{
    std::string word;
    std::string found;
    bool quoted = false;
    int comment = 0;
    const auto endWord = [&] {
        if (found.empty() && word.find('@') != std::string::npos)
            found = word;
        word.clear();
    };
    for (std::size_t i = 0; i < from.size(); ++i) {
        const char c = from[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (comment > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++comment;
            else if (c == ')')
                --comment;
            continue;
        }
        if (c == '"') {
            endWord();
            quoted = true;
        } else if (c == '(') {
            endWord();
            comment = 1;
        } else if (c == '<') {
            const std::size_t close = from.find('>', i + 1);
            const std::string_view inside =
                from.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
            if (inside.find('@') != std::string_view::npos)
                return std::string(trimmed(inside));
            if (close == std::string_view::npos)
                break;
            i = close;
            word.clear();
        } else if (isBlank(c) || c == ',' || c == ';' || c == ':') {
            endWord();
        } else {
            word += c;
        }
    }
    endWord();
    return found;
}

} // namespace

std::string decodeHeader(std::string_view text)
{
    std::string out;
    std::size_t at = 0;
    bool afterWord = false;
    while (at < text.size()) {
        const std::size_t next = text.find("=?", at);
        const std::string_view between =
            text.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
        std::optional<EncodedWord> word;
        if (next != std::string_view::npos)
            word = encodedWordAt(text, next);
        // Blanks between two encoded words are no part of the text.
        if (!(afterWord && word && trimmed(between).empty()))
            out += raw(between);
        if (next == std::string_view::npos)
            break;
        if (word) {
            out += word->text;
            at = word->end;
            afterWord = true;
        } else {
            out += "=?";
            at = next + 2;
            afterWord = false;
        }
    }
    return out;
}

std::string addressOf(std::string_view from)
{
    return lowered(firstAddress(from));
}

std::string listedSender(std::string_view line)
{
    std::string_view text = trimmed(line);
    if (text.starts_with('<') && text.ends_with('>') && text.size() >= 2)
        text = trimmed(text.substr(1, text.size() - 2));
    return lowered(text);
}

MessageHead readHead(std::string_view bytes)
{
    std::string from, date, subject, id;
    std::string* current = nullptr;
    std::size_t at = 0;
    // The separator line of an mbox is no header.
    if (bytes.starts_with("From ")) {
        const std::size_t end = bytes.find('\n');
        at = end == std::string_view::npos ? bytes.size() : end + 1;
    }
    const auto add = [](std::string& value, std::string_view piece) {
        if (value.size() < kValueKept)
            value += piece.substr(0, kValueKept - value.size());
    };
    bool seen[4] = {};
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty())
            break; // the body starts
        if (line.front() == ' ' || line.front() == '\t') {
            // A folded line goes on the header before it.
            if (current)
                add(*current, line);
            continue;
        }
        current = nullptr;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trimmed(line.substr(0, colon));
        static constexpr std::string_view kNames[] = {"from", "date", "subject", "message-id"};
        std::string* values[] = {&from, &date, &subject, &id};
        for (std::size_t k = 0; k < std::size(kNames); ++k) {
            if (!seen[k] && sameName(name, kNames[k])) {
                seen[k] = true;
                current = values[k];
                add(*current, line.substr(colon + 1));
            }
        }
    }
    MessageHead head;
    head.sender = addressOf(from);
    head.from = std::string(trimmed(decodeHeader(trimmed(from))));
    head.date = raw(trimmed(date));
    head.subject = std::string(trimmed(decodeHeader(trimmed(subject))));
    head.messageId = raw(trimmed(id));
    return head;
}

} // namespace corvatek::vkmail
