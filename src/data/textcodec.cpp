#include "data/textcodec.h"

#include "data/eightbit.h"

#include <QStringDecoder>

namespace corvatek::data {

QString utf8ToString(std::string_view utf8)
{
    const QByteArrayView bytes(utf8.data(), qsizetype(utf8.size()));
    if (!utf8.starts_with("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    QStringDecoder keeping(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return keeping.decode(bytes);
}

QString decode8Bit(QByteArrayView bytes)
{
    const std::string_view view(bytes.data(), std::size_t(bytes.size()));
    if (isValidUtf8(view))
        return utf8ToString(view);
    return decodeWindows1252(bytes);
}

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text[i] = QChar(char16_t(windows1252(static_cast<unsigned char>(bytes[i]))));
    return text;
}

} // namespace corvatek::data
