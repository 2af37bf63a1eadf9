// Flag and list files: the 8-bit decoding, the split into lines, and the
// bounded reader of the files themselves.
#include "finding.h"
#include "data/programfiles.h"
#include "data/textcodec.h"
#include "data/textlines.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::fuzz::fail;

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

    // The lines kept as bytes are the lines of the decoded text.
    const corvatek::data::TextLines kept(bytes.toByteArray());
    if (kept.toList() != lines)
        fail("the lines kept as bytes differ from the text's lines");

    // Read from a file, the bytes come back whole within the bound, and a
    // file past it is refused with nothing read.
    static QTemporaryDir dir;
    const corvatek::data::ProgramFiles files(dir.path());
    QFile file(files.path(u"portappli.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes.toByteArray()) != bytes.size())
        fail("the input could not be written");
    file.close();
    const qsizetype limit = size > 0 ? qsizetype(data[0]) * 4 : 0;
    const corvatek::data::BytesRead read = files.readBytes(u"portappli.txt", limit);
    if (qsizetype(size) <= limit ? !read.ok() || read.bytes != bytes : read.ok() || !read.bytes.isEmpty())
        fail("the bounded read does not keep its bound");
    return 0;
}
