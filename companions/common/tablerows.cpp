#include "tablerows.h"

#include "data/datapacket.h"

namespace corvatek::companion {

RowsAdded appendRows(
    const data::ProgramFiles& files, data::TableId id, const std::vector<TableRow>& rows, qsizetype kept)
{
    RowsAdded added;
    added.written = files.updateFile(
        data::schemaOf(id).fileName,
        [&](const QByteArray& current) -> std::optional<QByteArray> {
            data::Table table = data::defaultTable(id);
            if (!current.isEmpty()) {
                auto packet = data::readDataPacket(current);
                if (!packet.table) {
                    added.notATable = true;
                    return std::nullopt;
                }
                table = std::move(*packet.table);
            }
            for (const TableRow& row : rows) {
                QStringList values(table.fields().size());
                for (const auto& [field, value] : row)
                    if (const int index = table.fieldIndex(field); index >= 0)
                        values[index] = value;
                table.appendRow(values);
            }
            if (table.rowCount() > kept) {
                data::Table last(table.fields());
                for (qsizetype row = table.rowCount() - kept; row < table.rowCount(); ++row)
                    last.appendRowOf(table, row);
                table = std::move(last);
            }
            std::optional<QByteArray> bytes = data::writeDataPacket(table);
            added.notATable = added.notATable || !bytes;
            return bytes;
        },
        files.fileWait());
    return added;
}

} // namespace corvatek::companion
