#include "modeargument.h"

#include "data/eightbit.h"

namespace corvatek::probe {
namespace {

// Blanks around a mode as one who typed it might leave them: those of
// Unicode, not only of ASCII.
bool isBlank(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
        (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Where the code point before `end` starts, in valid UTF-8.
std::size_t previousStart(std::string_view text, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return start;
}

bool blankAt(std::string_view text, std::size_t at, std::size_t* length)
{
    char32_t c = 0;
    *length = data::utf8Length(text.substr(at), &c);
    return isBlank(c);
}

// `text` is valid UTF-8.
std::string trimmed(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    std::size_t length = 0;
    while (begin < end && blankAt(text, begin, &length))
        begin += length;
    while (end > begin) {
        const std::size_t start = previousStart(text, end);
        if (!blankAt(text, start, &length))
            break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

} // namespace

ModeArgument scanMode(std::string_view given)
{
    ModeArgument argument {std::nullopt, trimmed(data::validUtf8(given))};
    argument.mode = valueOf<ScanMode>(argument.text);
    return argument;
}

} // namespace corvatek::probe
