// The byte format of the table files: the XML data packets of the dataset
// engine the suite's companions were written against.
//
//   <?xml version="1.0" standalone="yes"?>
//   <DATAPACKET Version="2.0"><METADATA><FIELDS>
//     <FIELD attrname="Champ1" fieldtype="string" WIDTH="200"/>...
//   </FIELDS><PARAMS/></METADATA><ROWDATA><ROW Champ1="..."/>...</ROWDATA></DATAPACKET>
//
// Written as ASCII only (everything else as character references) so that any
// reader decodes it alike. Read tolerantly but safely: UTF-8 or Windows-1252,
// unknown attributes ignored, no document type declarations (so no entity
// can expand), nothing read beyond the bytes given.
#pragma once

#include "data/table.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::data {

struct PacketReadResult {
    std::optional<Table> table; // nothing when the bytes are no table
    QString error; // why, for the user
};

PacketReadResult readDataPacket(QByteArrayView bytes);

// Whether a field name is written so that it reads back as itself: a plain
// ASCII name (a letter or "_", then letters, digits, "_", "-" or ".").
bool isWritableFieldName(QStringView name);

// The file's bytes; what the reader accepts, the writer writes so that the
// reader accepts it again, field for field. Nothing when a field name is not
// writable or repeats another but for letter case: such a table is never
// written, so that no file is damaged.
std::optional<QByteArray> writeDataPacket(const Table& table);

// The same bytes made piece by piece (about a mebibyte each), so that a save
// writes a large table without ever holding its whole file.
class DataPacketPieces {
public:
    // Nothing when the table is not writable, as above.
    static std::optional<DataPacketPieces> of(const Table& table);
    // The next piece; empty once the file is complete. Valid until the next call.
    std::string_view next();

private:
    explicit DataPacketPieces(const Table& table) : table_(&table) { }

    const Table* table_;
    std::vector<std::string> openings_; // each field's ` name="`
    std::string buffer_;
    qsizetype row_ = -1; // -1 before the head is made
    bool done_ = false;
};

} // namespace corvatek::data
