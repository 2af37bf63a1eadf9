#include "data/table.h"

#include "data/textcodec.h"

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

Table::Table(QList<FieldDef> fields) : fields_(std::move(fields))
{
    if (fields_.size() > kMostFields)
        throw std::length_error("too many fields");
}

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
    const std::size_t first = row == 0 ? 0 : rowEnds_[std::size_t(row - 1)];
    for (std::size_t i = first; i < rowEnds_[std::size_t(row)] && fieldOf_[i] <= field; ++i) {
        if (fieldOf_[i] == field) {
            const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
            return std::string_view(buffer_).substr(begin, ends_[i] - begin);
        }
    }
    return {};
}

QString Table::value(qsizetype row, int field) const
{
    if (row < 0 || row >= rowCount() || field < 0 || field >= fields_.size())
        return {};
    return utf8ToString(rawValue(row, field));
}

std::optional<QString> Table::value(qsizetype row, QStringView fieldName) const
{
    const int field = fieldIndex(fieldName);
    if (field < 0)
        return std::nullopt;
    return value(row, field);
}

void Table::appendRawRow(const std::vector<RawValue>& present)
{
    const std::size_t bufferBefore = buffer_.size();
    const std::size_t valuesBefore = ends_.size();
    try {
        for (const RawValue& value : present) {
            if (value.field < 0 || value.field >= fields_.size())
                continue;
            const std::size_t keep = prefixOfCharacters(value.utf8, fields_[value.field].width);
            if (keep == 0)
                continue;
            if (buffer_.size() + keep > UINT32_MAX || ends_.size() >= UINT32_MAX)
                throw std::length_error("table too large");
            buffer_.append(value.utf8.data(), keep);
            ends_.push_back(std::uint32_t(buffer_.size()));
            fieldOf_.push_back(std::uint8_t(value.field));
        }
        rowEnds_.push_back(std::uint32_t(ends_.size()));
    } catch (...) {
        buffer_.resize(bufferBefore);
        ends_.resize(valuesBefore);
        fieldOf_.resize(valuesBefore);
        throw;
    }
}

void Table::appendRowOf(const Table& source, qsizetype row)
{
    std::vector<RawValue> present;
    const std::size_t first = row == 0 ? 0 : source.rowEnds_[std::size_t(row - 1)];
    for (std::size_t i = first; i < source.rowEnds_[std::size_t(row)]; ++i) {
        const std::size_t begin = i == 0 ? 0 : source.ends_[i - 1];
        present.push_back(
            {source.fieldOf_[i], std::string_view(source.buffer_).substr(begin, source.ends_[i] - begin)});
    }
    appendRawRow(present);
}

void Table::appendRow(const QStringList& values)
{
    std::vector<QByteArray> encoded;
    encoded.reserve(std::size_t(values.size()));
    std::vector<RawValue> present;
    for (int field = 0; field < values.size() && field < fields_.size(); ++field) {
        if (values[field].isEmpty())
            continue;
        encoded.push_back(values[field].toUtf8());
        present.push_back({field, std::string_view(encoded.back().constData(), std::size_t(encoded.back().size()))});
    }
    appendRawRow(present);
}

void Table::clearRows()
{
    buffer_.clear();
    ends_.clear();
    fieldOf_.clear();
    rowEnds_.clear();
}

} // namespace corvatek::data
