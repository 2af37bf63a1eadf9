// The seven table files of the suite: names, fields with their widths, and
// the content each file gets when it has to be created.
#pragma once

#include "data/table.h"

#include <QString>
#include <QStringList>

namespace corvatek::data {

enum class TableId { Rules, Alerts, Events, Quarantine, Languages, Sites, Configuration };

inline constexpr TableId kAllTables[] = {TableId::Rules, TableId::Alerts, TableId::Events, TableId::Quarantine,
    TableId::Languages, TableId::Sites, TableId::Configuration};

struct TableSchema {
    QString fileName;
    QList<FieldDef> fields;
    QList<QStringList> defaultRows;
};

const TableSchema& schemaOf(TableId id);
// A table with the schema's fields and default rows.
Table defaultTable(TableId id);
// "Champ" + n: how every page names field n.
QString fieldName(int n);

// The fields code reads by what they hold; the file format numbers them.
namespace fields {
// Every table: the program, entry, language code or site.
inline constexpr QStringView Name = u"Champ1";
// Rules and alerts.
inline constexpr QStringView Moment = u"Champ2";
inline constexpr QStringView Action = u"Champ3";
inline constexpr QStringView Version = u"Champ4";
inline constexpr QStringView Path = u"Champ8";
inline constexpr QStringView StoredSignature = u"Champ9";
// Sites: the site's address.
inline constexpr QStringView Address = u"Champ2";
} // namespace fields
// Blanks and control characters removed at both ends: program and site
// names are stored and compared so.
QString trimmedName(QStringView text);

} // namespace corvatek::data
