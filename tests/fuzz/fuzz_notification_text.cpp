// The notifier's text: one line of bounded length, and its escaping for a
// service that reads markup.
#include "finding.h"
#include "message.h"

#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString given = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString expected = given;
    for (QChar& c : expected) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    const QString shown = corvatek::notice::shownText(given);
    if (shown.toUcs4().size() > 1000)
        fail("the text is longer than a notification shows");
    for (const QChar c : shown) {
        if (c.category() == QChar::Other_Control)
            fail("the text holds a control character");
    }
    // Shorter only by a cut that ends in an ellipsis.
    if (shown != expected && !(shown.endsWith(QChar(0x2026)) && expected.startsWith(shown.chopped(1))))
        fail("the text is not the message, nor its beginning and an ellipsis");

    const QString escaped = corvatek::notice::body(shown, true);
    for (const char raw : {'<', '>', '"'}) {
        if (escaped.contains(QLatin1Char(raw)))
            fail("markup is passed to the service unescaped");
    }
    QString unescaped = escaped;
    unescaped.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    if (unescaped != shown)
        fail("the escaped text does not read as the text");
    return 0;
}
