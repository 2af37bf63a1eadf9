// Desktop entries: anyone may drop any file on a desktop or into the
// autostart folder, so the reader must take any bytes, and a command's
// arguments written back in the entry's quoting must read the same again.
#include "finding.h"
#include "platform/linux/desktopentry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvatek::fuzz::fail;

namespace {

std::string quoted(const std::string& argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    return out + '"';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvatek::platform::desktop;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto keys = parse(text);
    const auto exec = keys ? keys->find("Exec") : Keys::const_iterator();
    const std::string command = keys && exec != keys->end() ? exec->second : std::string(text);
    const auto arguments = execArguments(command);
    if (!arguments)
        return 0;
    std::string written;
    for (const auto& argument : *arguments)
        written += (written.empty() ? "" : " ") + quoted(argument);
    const auto again = execArguments(written);
    if (!again || *again != *arguments)
        fail("arguments written back read differently");
    if (programOfExec(written) != (arguments->empty() ? std::string() : arguments->front()))
        fail("the program is not the first argument");
    return 0;
}
