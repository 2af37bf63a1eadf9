#include "pages/tableedits.h"

#include "data/textcodec.h"
#include "localisation/texts.h"

namespace corvatek::pages {
namespace {

data::FileResult missingField(const data::ProgramFiles& files, data::TableId id)
{
    return {data::FileStatus::Unreadable,
        localisation::text(
            files.language(), localisation::Text::NoNameFieldLeftAsItWas, {files.path(data::schemaOf(id).fileName)})};
}

} // namespace

data::FileResult keepRows(
    const data::ProgramFiles& files, data::TableId id, const RowTest& keep, QStringList* keptNames)
{
    data::TableLoad load = files.loadTable(id);
    if (!load.ok())
        return load;
    const data::Table& table = load.table;
    const int field = table.fieldIndex(data::fields::Name);
    if (field < 0)
        return missingField(files, id);
    data::Table kept(table.fields());
    QStringList names;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QString name = data::utf8ToString(table.rawValue(row, field));
        if (keep(name)) {
            kept.appendRowOf(table, row);
            if (keptNames)
                names.append(std::move(name));
        }
    }
    const data::FileResult saved = files.saveTable(id, kept);
    if (saved.ok() && keptNames)
        *keptNames = std::move(names);
    return saved;
}

data::FileResult appendRow(
    const data::ProgramFiles& files, data::TableId id, const QString& name, const QString& address)
{
    data::TableLoad load = files.loadTable(id);
    if (!load.ok())
        return load;
    data::Table& table = load.table;
    const int first = table.fieldIndex(data::fields::Name);
    if (first < 0)
        return missingField(files, id);
    QStringList values(table.fields().size());
    values[first] = name;
    if (const int second = table.fieldIndex(data::fields::Address); second >= 0)
        values[second] = address;
    table.appendRow(values);
    return files.saveTable(id, table);
}

data::FileResult emptyTable(const data::ProgramFiles& files, data::TableId id)
{
    data::TableLoad load = files.loadTable(id);
    if (!load.ok())
        return load;
    load.table.clearRows();
    return files.saveTable(id, load.table);
}

QStringList firstFieldOf(const data::Table& table)
{
    QStringList values;
    const int field = table.fieldIndex(data::fields::Name);
    if (field < 0)
        return values;
    values.reserve(table.rowCount());
    for (qsizetype row = 0; row < table.rowCount(); ++row)
        values.append(table.value(row, field));
    return values;
}

} // namespace corvatek::pages
