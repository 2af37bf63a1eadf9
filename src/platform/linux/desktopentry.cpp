#include "desktopentry.h"

#include "searchpath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform::desktop {
namespace {

// Real entries are a few kilobytes; translations make the largest ones long.
constexpr std::size_t kLargestEntry = 1 << 20;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string unescapeValue(std::string_view value)
{
    std::string text;
    text.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            text += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else {
            text += value[i];
        }
    }
    return text;
}

std::optional<Keys> parse(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return std::nullopt;
    Keys keys;
    bool seenMain = false;
    bool inMain = false;
    bool inGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return std::nullopt;
            // The main group comes first; a repeated one is not an entry.
            inMain = line == "[Desktop Entry]";
            if (inMain && (seenMain || inGroup))
                return std::nullopt;
            seenMain = seenMain || inMain;
            inGroup = true;
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos || equals == 0)
            return std::nullopt;
        if (inMain)
            keys.try_emplace(
                std::string(trimmed(line.substr(0, equals))), unescapeValue(trimmed(line.substr(equals + 1))));
    }
    if (!seenMain)
        return std::nullopt;
    return keys;
}

std::optional<std::string> readSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info { };
    std::optional<std::string> text;
    // Only a regular file: a fifo or a device named like an entry would block or never end.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && std::size_t(info.st_size) <= kLargestEntry) {
        text.emplace();
        char buffer[8192];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text->size() <= kLargestEntry)
            text->append(buffer, std::size_t(n));
        if (n < 0 || text->size() > kLargestEntry)
            text.reset();
    }
    ::close(fd);
    return text;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    const auto text = readSmallFile(path);
    if (!text)
        return lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text->substr(start, end - start));
    if (start < text->size())
        lines.push_back(text->substr(start));
    return lines;
}

std::optional<std::vector<std::string>> execArguments(std::string_view exec)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inArgument = true;
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                const bool escapes = exec[i] == '\\' || exec[i] == '%';
                if (escapes && i + 1 < exec.size() && (exec[i] == '\\' || exec[i + 1] == '%'))
                    ++i;
                current += exec[i];
            }
            if (i >= exec.size())
                return std::nullopt;
        } else {
            inArgument = true;
            current += c;
            if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%')
                ++i;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

std::string programOfExec(std::string_view exec)
{
    const auto arguments = execArguments(exec);
    return arguments && !arguments->empty() ? arguments->front() : std::string();
}

Presence presenceOf(const std::string& program)
{
    if (program.empty())
        return Presence::Unknown;
    if (program.front() == '/') {
        struct stat info { };
        return ::stat(program.c_str(), &info) == 0 ? Presence::Found : Presence::Missing;
    }
    if (program.find('/') != std::string::npos)
        return Presence::Unknown;
    if (!onSearchPath(program).empty())
        return Presence::Found;
    return Presence::Missing;
}

} // namespace corvatek::platform::desktop
