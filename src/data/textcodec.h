// Decoding of the suite's 8-bit text: UTF-8 when the bytes are valid UTF-8
// (what Linux companions write), Windows-1252 otherwise (older files and the
// shipped language files).
#pragma once

#include "data/eightbit.h"

#include <QByteArrayView>
#include <QString>

#include <string>
#include <string_view>

namespace corvatek::data {

// The text of UTF-8 bytes as they are: a leading U+FEFF is kept, where
// QString::fromUtf8 takes it for a byte order mark and drops it.
QString utf8ToString(std::string_view utf8);
QString decode8Bit(QByteArrayView bytes);
QString decodeWindows1252(QByteArrayView bytes);

} // namespace corvatek::data
