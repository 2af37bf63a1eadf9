#include "data/table.h"

#include <stdexcept>

namespace corvatek::data {
namespace {

// Byte length of the first `width` characters of a UTF-8 text.
std::size_t prefixOfCharacters(std::string_view utf8, int width)
{
    if (width < 0)
        return utf8.size();
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            if (characters == static_cast<std::size_t>(width))
                return i;
            ++characters;
        }
    }
    return utf8.size();
}

} // namespace

Table::Table(QList<FieldDef> fields) : fields_(std::move(fields)) { }

int Table::fieldIndex(QStringView name) const
{
    for (int i = 0; i < fields_.size(); ++i) {
        if (name.compare(fields_[i].name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

std::string_view Table::rawValue(qsizetype row, int field) const
{
    const std::size_t index = std::size_t(row) * std::size_t(fields_.size()) + std::size_t(field);
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(buffer_).substr(begin, ends_[index] - begin);
}

QString Table::value(qsizetype row, int field) const
{
    if (row < 0 || row >= rows_ || field < 0 || field >= fields_.size())
        return {};
    const auto raw = rawValue(row, field);
    return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
}

std::optional<QString> Table::value(qsizetype row, QStringView fieldName) const
{
    const int field = fieldIndex(fieldName);
    if (field < 0)
        return std::nullopt;
    return value(row, field);
}

void Table::appendCut(std::string_view utf8, int width)
{
    const std::size_t keep = prefixOfCharacters(utf8, width);
    if (buffer_.size() + keep > UINT32_MAX)
        throw std::length_error("table too large");
    buffer_.append(utf8.data(), keep);
    ends_.push_back(std::uint32_t(buffer_.size()));
}

void Table::appendRawRow(const std::vector<std::string_view>& utf8Values)
{
    const std::size_t bufferBefore = buffer_.size();
    const std::size_t endsBefore = ends_.size();
    try {
        for (int field = 0; field < fields_.size(); ++field)
            appendCut(std::size_t(field) < utf8Values.size() ? utf8Values[std::size_t(field)] : std::string_view(),
                fields_[field].width);
    } catch (...) {
        buffer_.resize(bufferBefore);
        ends_.resize(endsBefore);
        throw;
    }
    ++rows_;
}

void Table::appendRow(const QStringList& values)
{
    std::vector<QByteArray> encoded;
    encoded.reserve(std::size_t(values.size()));
    std::vector<std::string_view> views;
    for (const QString& value : values) {
        encoded.push_back(value.toUtf8());
        views.emplace_back(encoded.back().constData(), std::size_t(encoded.back().size()));
    }
    appendRawRow(views);
}

void Table::clearRows()
{
    buffer_.clear();
    ends_.clear();
    rows_ = 0;
}

} // namespace corvatek::data
