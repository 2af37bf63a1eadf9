// The companions' logs: a line appended to what the file holds, the file
// kept to its last 256 KiB of whole lines.
#include "finding.h"
#include "common/companion.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes say how much the log holds already, scaled so
    // that the bound is crossed: up to 512 KiB of the rest repeated.
    const QByteArray rest(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const qsizetype held = (qsizetype(data[0]) << 8 | data[1]) * 8;
    QByteArray current;
    while (!rest.isEmpty() && current.size() < held)
        current += rest;
    current.truncate(held);
    const QByteArray entry = rest.left(rest.indexOf('\n') + 1).replace('\n', '?') + "\r\n";

    const QByteArray log = corvatek::companion::appendedLog(current, entry);
    const QByteArray whole = current + entry;
    if (!log.endsWith(entry))
        fail("the new line is not the log's last");
    if (!whole.endsWith(log))
        fail("the log is not the end of what it held and the new line");
    if (log.size() > std::max<qsizetype>(256 * 1024, entry.size()))
        fail("the log grew past its bound");
    if (log.size() < whole.size() && log.size() > entry.size() && whole[whole.size() - log.size() - 1] != '\n')
        fail("the log was cut inside a line");
    return 0;
}
