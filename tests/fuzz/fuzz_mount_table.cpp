// The mount table: mount points are names users choose (a stick's label), so
// the reader must take any bytes, and a table compared with itself must show
// nothing arrived.
#include "finding.h"
#include "platform/linux/mounttable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvatek::platform::mounts;
    const auto table = parse(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& entry : table) {
        if (!entry.mountPoint.starts_with('/'))
            fail("a mount point is not an absolute path");
    }
    const auto anyDevice = [](const MountEntry&) { return true; };
    if (!arrivals(table, table, anyDevice).empty())
        fail("a table compared with itself shows an arrival");
    if (!table.empty() && arrivals({}, table, anyDevice).size() > table.size())
        fail("more arrivals than mounts");
    return 0;
}
