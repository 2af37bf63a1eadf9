// An in-memory table of text fields, the form every table file takes while a
// page reads or rewrites it. Only the values present are stored, as UTF-8 in
// one buffer, so a table costs memory in proportion to its file whatever its
// shape: a 100,000-row rules table costs less than its file, and a file of
// empty rows over many fields no more.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::data {

struct FieldDef {
    QString name;
    int width = 0; // in characters; longer values are cut when stored
};

class Table {
public:
    // The suite's tables have at most 12 fields; a file declaring more than
    // this is no table of the suite.
    static constexpr int kMostFields = 256;

    Table() = default;
    // Throws std::length_error past kMostFields fields.
    explicit Table(QList<FieldDef> fields);

    const QList<FieldDef>& fields() const { return fields_; }
    // Field names are matched without regard to case ("Champ1" == "champ1").
    int fieldIndex(QStringView name) const;

    qsizetype rowCount() const { return qsizetype(rowEnds_.size()); }
    bool isEmpty() const { return rowEnds_.empty(); }

    QString value(qsizetype row, int field) const;
    // Nothing when the table has no such field, as a dataset reports a
    // missing field.
    std::optional<QString> value(qsizetype row, QStringView fieldName) const;

    // Appends a record; missing trailing values are empty, extra ones ignored.
    void appendRow(const QStringList& values);
    void clearRows();

    // Direct UTF-8 access for the file format, which moves bytes, not text.
    std::string_view rawValue(qsizetype row, int field) const;
    // A row of the values present, each with its field, in ascending order
    // of field; absent fields are empty.
    struct RawValue {
        int field;
        std::string_view utf8;
    };
    void appendRawRow(const std::vector<RawValue>& present);
    // Calls visit(RawValue) for each value the row holds, in ascending order
    // of field: a whole row in one pass, where rawValue looks for each.
    template<typename Visit> void forEachRawValue(qsizetype row, Visit&& visit) const
    {
        const std::size_t first = row == 0 ? 0 : rowEnds_[std::size_t(row - 1)];
        for (std::size_t i = first; i < rowEnds_[std::size_t(row)]; ++i) {
            const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
            visit(RawValue {fieldOf_[i], std::string_view(buffer_).substr(begin, ends_[i] - begin)});
        }
    }
    // Appends a copy of another table's row, field for field; the tables
    // share their fields (a table and what is kept of it).
    void appendRowOf(const Table& source, qsizetype row);

private:
    QList<FieldDef> fields_;
    std::string buffer_; // every value present, row by row, back to back
    std::vector<std::uint32_t> ends_; // end of each value in buffer_
    std::vector<std::uint8_t> fieldOf_; // its field
    std::vector<std::uint32_t> rowEnds_; // end of each row's values in ends_
};

} // namespace corvatek::data
