// An in-memory table of text fields, the form every table file takes while a
// page reads or rewrites it. Values are stored as UTF-8 in one buffer: a
// 100,000-row rules table then costs less memory than its file.
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
    Table() = default;
    explicit Table(QList<FieldDef> fields);

    const QList<FieldDef>& fields() const { return fields_; }
    // Field names are matched without regard to case ("Champ1" == "champ1").
    int fieldIndex(QStringView name) const;

    qsizetype rowCount() const { return rows_; }
    bool isEmpty() const { return rows_ == 0; }

    QString value(qsizetype row, int field) const;
    // Nothing when the table has no such field, as a dataset reports a
    // missing field.
    std::optional<QString> value(qsizetype row, QStringView fieldName) const;

    // Appends a record; missing trailing values are empty, extra ones ignored.
    void appendRow(const QStringList& values);
    void clearRows();

    // Direct UTF-8 access for the file format, which moves bytes, not text.
    std::string_view rawValue(qsizetype row, int field) const;
    void appendRawRow(const std::vector<std::string_view>& utf8Values);

private:
    void appendCut(std::string_view utf8, int width);

    QList<FieldDef> fields_;
    std::string buffer_; // every value of every row, back to back
    std::vector<std::uint32_t> ends_; // end of each value in buffer_, row by row
    qsizetype rows_ = 0;
};

} // namespace corvatek::data
