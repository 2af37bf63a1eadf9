#include "log.h"

#include <cstdlib>
#include <unistd.h>

namespace corvatek::service {
namespace {

std::string& logName()
{
    static std::string name = "corvatek";
    return name;
}

} // namespace

void setLogName(std::string name)
{
    logName() = std::move(name);
}

void log(Priority priority, const std::string& line)
{
    // Under systemd the journal reads "<n>" as the priority; elsewhere the
    // program's name says whose line it is.
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    std::string text = journal ? "<" + std::to_string(int(priority)) + ">" : logName() + ": ";
    for (const char c : line)
        text += (unsigned char)c < 0x20 ? '?' : c; // one line per entry, whatever a path holds
    text += '\n';
    // One write per line, so that lines of several threads never mix.
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

} // namespace corvatek::service
