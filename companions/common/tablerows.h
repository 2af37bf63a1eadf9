// Rows a companion adds to one of the control centre's tables (alerts,
// rules): appended under the file's lock and replaced by rename, the oldest
// rows going past a bound, so a busy program never grows a file without end.
#pragma once

#include "data/programfiles.h"

#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

namespace corvatek::companion {

// A row by field name; fields the file lacks are passed over.
using TableRow = std::vector<std::pair<QStringView, QString>>;

struct RowsAdded {
    data::FileResult written;
    // The file holds no table: the control centre sets it aside at its next
    // start; the rows are not kept meanwhile.
    bool notATable = false;
    bool done() const { return written.ok() || notATable; }
};

RowsAdded appendRows(
    const data::ProgramFiles& files, data::TableId table, const std::vector<TableRow>& rows, qsizetype kept);

} // namespace corvatek::companion
