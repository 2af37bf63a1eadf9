// Read-write-read: whatever table the reader makes of a file, the writer must
// write so that the reader gives back the same table, or refuse it for the
// one reason it may (a field name it cannot write).
#include "data/datapacket.h"

#include <QSet>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::data::Table;

namespace {

[[noreturn]] void fail(const char* what, qsizetype row = -1, int field = -1)
{
    std::fprintf(stderr, "fuzz_table_reader: %s (row %lld, field %d)\n", what, static_cast<long long>(row), field);
    std::abort();
}

void requireSame(const Table& first, const Table& second)
{
    if (first.fields().size() != second.fields().size())
        fail("the fields differ in number");
    for (int field = 0; field < first.fields().size(); ++field) {
        if (first.fields()[field].name != second.fields()[field].name)
            fail("a field name differs", -1, field);
        if (first.fields()[field].width != second.fields()[field].width)
            fail("a field width differs", -1, field);
    }
    if (first.rowCount() != second.rowCount())
        fail("the rows differ in number");
    for (qsizetype row = 0; row < first.rowCount(); ++row) {
        for (int field = 0; field < first.fields().size(); ++field) {
            if (first.rawValue(row, field) != second.rawValue(row, field))
                fail("a value differs", row, field);
        }
    }
}

bool writable(const Table& table)
{
    QSet<QString> seen;
    for (const auto& field : table.fields()) {
        const QString folded = field.name.toLower();
        if (!corvatek::data::isWritableFieldName(field.name) || seen.contains(folded))
            return false;
        seen.insert(folded);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto first = corvatek::data::readDataPacket(QByteArrayView(data, qsizetype(size)));
    if (!first.table) {
        if (first.error.isEmpty())
            fail("a refused file without a reason");
        return 0;
    }
    const auto bytes = corvatek::data::writeDataPacket(*first.table);
    if (!bytes) {
        if (writable(*first.table))
            fail("a table with writable field names was refused");
        return 0;
    }
    const auto second = corvatek::data::readDataPacket(*bytes);
    if (!second.table)
        fail("the written file does not read back");
    requireSame(*first.table, *second.table);
    // What was read back writes the very same bytes.
    const auto again = corvatek::data::writeDataPacket(*second.table);
    if (!again || *again != *bytes)
        fail("writing the read-back table gives other bytes");
    return 0;
}
