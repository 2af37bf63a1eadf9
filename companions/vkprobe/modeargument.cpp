#include "modeargument.h"

#include "report.h"

namespace corvatek::probe {
namespace {

// Blanks around a mode as one who typed it might leave them: those of
// Unicode, not only of ASCII.
bool isBlank(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
        (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The code point before `end` in valid UTF-8, and where it starts.
std::size_t previousStart(const std::string& text, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return start;
}

char32_t codePointAt(const std::string& text, std::size_t at, std::size_t* length)
{
    const auto c = static_cast<unsigned char>(text[at]);
    std::size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t i = 1; i <= extra && at + i < text.size(); ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    *length = extra + 1;
    return cp;
}

std::string trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    std::size_t length = 0;
    while (begin < end && isBlank(codePointAt(text, begin, &length)))
        begin += length;
    while (end > begin) {
        const std::size_t start = previousStart(text, end);
        if (!isBlank(codePointAt(text, start, &length)))
            break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

} // namespace

ModeArgument scanMode(std::string_view given)
{
    ModeArgument argument {-1, trimmed(validUtf8(given))};
    const std::string& text = argument.text;
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '3')
        argument.mode = text[0] - '0';
    return argument;
}

} // namespace corvatek::probe
