// The suite's 8-bit text without Qt, so that the light companions share it:
// UTF-8 checked and written by hand, and Windows-1252 (older files, the
// shipped language files) turned into UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace corvatek::data {

// Windows-1252 bytes 0x80..0x9F; the five it leaves undefined map to the
// C1 control of the same value, as Windows itself does.
inline constexpr char16_t kHighControls[32] = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

inline char32_t windows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

// The length of the UTF-8 character at the start of `text`, 0 when none is.
inline std::size_t utf8Length(std::string_view text, char32_t* codePoint = nullptr)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char c = p[0];
    if (c < 0x80) {
        if (codePoint)
            *codePoint = c;
        return 1;
    }
    std::size_t extra;
    char32_t minimum;
    char32_t cp;
    if ((c & 0xE0) == 0xC0)
        extra = 1, minimum = 0x80, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0)
        extra = 2, minimum = 0x800, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0)
        extra = 3, minimum = 0x10000, cp = c & 0x07;
    else
        return 0;
    if (text.size() <= extra)
        return 0;
    for (std::size_t i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    if (codePoint)
        *codePoint = cp;
    return extra + 1;
}

inline bool isValidUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8Length(text.substr(at));
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

// Bytes as UTF-8 text, as the rest of the suite decodes them: what is not
// UTF-8 shown as U+FFFD, one per byte, and a leading byte order mark dropped.
inline std::string validUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    // Taken for a byte order mark, as Qt's decoder takes it.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8Length(text.substr(at));
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

// Appends the UTF-8 form of one code point.
inline void appendCodePoint(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Appends the UTF-8 form of Windows-1252 bytes.
inline void appendWindows1252AsUtf8(std::string& out, std::string_view bytes)
{
    for (const char byte : bytes)
        appendCodePoint(out, windows1252(static_cast<unsigned char>(byte)));
}

} // namespace corvatek::data
