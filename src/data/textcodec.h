// Decoding of the suite's 8-bit text: UTF-8 when the bytes are valid UTF-8
// (what Linux companions write), Windows-1252 otherwise (older files and the
// shipped language files).
#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>
#include <string_view>

namespace corvatek::data {

bool isValidUtf8(std::string_view bytes);
// The text of UTF-8 bytes as they are: a leading U+FEFF is kept, where
// QString::fromUtf8 takes it for a byte order mark and drops it.
QString utf8ToString(std::string_view utf8);
QString decode8Bit(QByteArrayView bytes);
QString decodeWindows1252(QByteArrayView bytes);
// Appends the UTF-8 form of Windows-1252 bytes.
void appendWindows1252AsUtf8(std::string& out, std::string_view bytes);
// Appends the UTF-8 form of one code point.
void appendCodePoint(std::string& out, char32_t codePoint);

} // namespace corvatek::data
