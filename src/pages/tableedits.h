// The rewrites the security pages make to table files: every change loads
// the file afresh, keeps or adds rows and saves the file whole, so rows and
// fields a companion wrote are carried over untouched.
#pragma once

#include "data/programfiles.h"

#include <QString>
#include <QStringView>

#include <functional>

namespace corvatek::pages {

using data::trimmedName;

// The name of each row (its Champ1), as a page decides which rows to keep.
using RowTest = std::function<bool(QStringView name)>;

// Loads the table, keeps in order the rows `keep` accepts and saves it. A
// file without a Champ1 field is left as it is: its rows cannot be told apart.
// `keptNames`, when given, receives the Champ1 of each row kept.
data::FileResult keepRows(
    const data::ProgramFiles& files, data::TableId id, const RowTest& keep, QStringList* keptNames = nullptr);
// Loads the table, appends a row named `name` (and with the site's
// `address`, when the table has that field) and saves it.
data::FileResult appendRow(
    const data::ProgramFiles& files, data::TableId id, const QString& name, const QString& address = {});
// Loads the table, empties it and saves it.
data::FileResult emptyTable(const data::ProgramFiles& files, data::TableId id);

// The Champ1 values of a loaded table, in order; empty when it has no such field.
QStringList firstFieldOf(const data::Table& table);

} // namespace corvatek::pages
