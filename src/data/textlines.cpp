#include "data/textlines.h"

#include "data/textcodec.h"

#include <cstring>
#include <string_view>

namespace corvatek::data {

TextLines::TextLines(QByteArray bytes) : bytes_(std::move(bytes))
{
    const char* const begin = bytes_.constData();
    const char* const end = begin + bytes_.size();
    utf8_ = isValidUtf8(std::string_view(begin, std::size_t(bytes_.size())));
    const char* start = begin;
    for (const char* at = begin; at < end;) {
        // LF is by far the most common end: find the next one fast, then
        // look for a CR before it.
        const auto* lf = static_cast<const char*>(std::memchr(at, '\n', std::size_t(end - at)));
        const char* stop = lf ? lf : end;
        const auto* cr = static_cast<const char*>(std::memchr(at, '\r', std::size_t(stop - at)));
        const char* lineEnd = cr ? cr : lf;
        if (!lineEnd)
            break;
        bounds_.push_back(std::uint32_t(start - begin));
        bounds_.push_back(std::uint32_t(lineEnd - begin));
        at = lineEnd + 1;
        if (cr && cr + 1 < end && cr[1] == '\n')
            ++at;
        start = at;
    }
    if (start < end) {
        bounds_.push_back(std::uint32_t(start - begin));
        bounds_.push_back(std::uint32_t(end - begin));
    }
}

QString TextLines::at(qsizetype line) const
{
    if (line < 0 || line >= size())
        return {};
    const std::size_t from = bounds_[std::size_t(line) * 2];
    const std::string_view bytes(bytes_.constData() + from, bounds_[std::size_t(line) * 2 + 1] - from);
    return utf8_ ? utf8ToString(bytes) : decodeWindows1252(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

QStringList TextLines::toList() const
{
    QStringList lines;
    lines.reserve(size());
    for (qsizetype line = 0; line < size(); ++line)
        lines.append(at(line));
    return lines;
}

QString TextLines::joined() const
{
    QString text;
    for (qsizetype line = 0; line < size(); ++line) {
        if (line > 0)
            text += QLatin1Char('\n');
        text += at(line);
    }
    return text;
}

} // namespace corvatek::data
