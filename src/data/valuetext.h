// The shared values as the control centre's files and command lines carry
// them: the same digits as values.h, as QString.
#pragma once

#include "data/values.h"

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

namespace corvatek {

template <typename Value> QString textOf(Value value)
{
    const std::string_view text = fileText(value);
    return QLatin1StringView(text.data(), qsizetype(text.size()));
}

template <typename Value> std::optional<Value> valueOf(QStringView text)
{
    if (text.size() != 1 || text[0].unicode() > 0x7f)
        return std::nullopt;
    const char digit = char(text[0].unicode());
    return valueOf<Value>(std::string_view(&digit, 1));
}

} // namespace corvatek
