#include "data/tables.h"
#include "data/filenames.h"

namespace corvatek::data {
namespace {

QList<FieldDef> fieldsOfWidth(int count, int width, int wideField = 0, int wideWidth = 0)
{
    QList<FieldDef> fields;
    for (int n = 1; n <= count; ++n)
        fields.append({fieldName(n), n == wideField ? wideWidth : width});
    return fields;
}

TableSchema makeSchema(TableId id)
{
    switch (id) {
    case TableId::Rules: return {QStringView(files::Rules).toString(), fieldsOfWidth(11, 200, 8, 5000), {}};
    case TableId::Alerts: return {QStringView(files::Alerts).toString(), fieldsOfWidth(9, 200, 9, 5000), {}};
    case TableId::Events: return {QStringView(files::Events).toString(), fieldsOfWidth(1, 200), {}};
    case TableId::Quarantine: return {QStringView(files::Quarantine).toString(), fieldsOfWidth(1, 200), {}};
    case TableId::Languages: return {QStringView(files::Languages).toString(), fieldsOfWidth(1, 200), {{QStringLiteral("FR")}}};
    case TableId::Sites: return {QStringView(files::Sites).toString(), fieldsOfWidth(2, 200), {}};
    case TableId::Configuration:
        return {QStringView(files::Configuration).toString(), fieldsOfWidth(12, 200), {QStringList(12, QStringLiteral("1"))}};
    }
    return {};
}

} // namespace

QString fieldName(int n)
{
    return QStringLiteral("Champ%1").arg(n);
}

QString trimmedName(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= ' ')
        ++begin;
    while (end > begin && text[end - 1].unicode() <= ' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

const TableSchema& schemaOf(TableId id)
{
    static const TableSchema schemas[] = {
        makeSchema(TableId::Rules),
        makeSchema(TableId::Alerts),
        makeSchema(TableId::Events),
        makeSchema(TableId::Quarantine),
        makeSchema(TableId::Languages),
        makeSchema(TableId::Sites),
        makeSchema(TableId::Configuration),
    };
    return schemas[static_cast<int>(id)];
}

Table defaultTable(TableId id)
{
    const TableSchema& schema = schemaOf(id);
    Table table(schema.fields);
    for (const QStringList& row : schema.defaultRows)
        table.appendRow(row);
    return table;
}

} // namespace corvatek::data
