// Language files: whatever the bytes, the captions fit their places.
#include "data/programfiles.h"
#include "data/textcodec.h"
#include "localisation/captions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace corvatek::localisation;

namespace {

[[noreturn]] void fail(const char* what, qsizetype caption = -1)
{
    std::fprintf(stderr, "fuzz_captions: %s (caption %lld)\n", what, static_cast<long long>(caption + 1));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const auto captions = captionsOfLanguageFile(bytes);
    if (!captions)
        return 0;
    if (captions->size() > kCaptionCount)
        fail("more captions than places");
    const QStringList lines = corvatek::data::splitLines(corvatek::data::decode8Bit(bytes));
    if (captions->size() != std::min<qsizetype>(lines.size(), kCaptionCount))
        fail("captions lost or made up");
    for (qsizetype i = 0; i < captions->size(); ++i) {
        const QString& caption = captions->at(i);
        if (caption.size() > kCaptionWidth)
            fail("a caption is too long", i);
        if (!caption.isEmpty() && caption.back().isHighSurrogate())
            fail("a caption ends inside a character", i);
        // Cut, never changed: the start of its line, shorter only where the
        // line is longer than the place.
        if (!lines[i].startsWith(caption) || (caption.size() < lines[i].size() && caption.size() < kCaptionWidth - 1))
            fail("a caption is not the start of its line", i);
        for (const QChar c : caption) {
            if (c.unicode() < 0x20 && c != QLatin1Char('\t'))
                fail("a caption holds a control character", i);
        }
    }
    return 0;
}
