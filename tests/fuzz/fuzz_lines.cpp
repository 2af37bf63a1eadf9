// Flag and list files: the 8-bit decoding and the split into lines.
#include "data/programfiles.h"
#include "data/textcodec.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_lines: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const QString text = corvatek::data::decode8Bit(bytes);

    // UTF-8 is taken only when it decodes without loss; anything else is
    // Windows-1252, one character per byte, ASCII and Latin-1 as themselves.
    if (corvatek::data::isValidUtf8(std::string_view(bytes.data(), size))) {
        if (text.toUtf8() != bytes)
            fail("valid UTF-8 does not decode to itself");
    } else {
        if (text.size() != bytes.size())
            fail("Windows-1252 text is not one character per byte");
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if ((byte < 0x80 || byte >= 0xA0) && text[i].unicode() != byte)
                fail("an ASCII or Latin-1 byte decodes to another character");
        }
    }

    const QStringList lines = corvatek::data::splitLines(text);
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            fail("a line holds a line break");
    }
    // Rejoined, the lines are the text with every ending as LF, less a final one.
    QString expected = text;
    expected.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (expected.endsWith(QLatin1Char('\n')))
        expected.chop(1);
    if (lines.join(QLatin1Char('\n')) != expected)
        fail("the rejoined lines are not the text");
    return 0;
}
