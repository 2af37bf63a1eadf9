#include "desktopentry.h"

#include "mounttable.h"
#include "xdg.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

// The path with every link that exists followed and "." and ".." resolved;
// from the first name that is missing on, the rest is taken as written.
std::string followedPath(const std::string& path)
{
    std::vector<std::string> pending; // names still to walk, the next one last
    const auto push = [&](std::string_view text) {
        std::vector<std::string> names;
        for (std::size_t start = 0; start <= text.size();) {
            const auto slash = std::min(text.find('/', start), text.size());
            names.emplace_back(text.substr(start, slash - start));
            start = slash + 1;
        }
        pending.insert(pending.end(), names.rbegin(), names.rend());
    };
    push(path);
    std::string walked; // "" is the root
    bool missing = false;
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            walked.erase(std::min(walked.rfind('/'), walked.size()));
            continue;
        }
        std::string next = walked + "/" + name;
        struct stat info { };
        if (!missing && ::lstat(next.c_str(), &info) != 0)
            missing = true;
        if (!missing && S_ISLNK(info.st_mode) && ++links <= 40) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
            if (n > 0 && std::size_t(n) < sizeof target) {
                if (target[0] == '/')
                    walked.clear();
                push(std::string_view(target, std::size_t(n)));
                continue;
            }
        }
        walked = std::move(next);
    }
    return walked.empty() ? "/" : walked;
}

bool onAbsentVolume(const std::string& path)
{
    const auto fstab = readSmallFile("/etc/fstab");
    const auto points = fstab ? mounts::fstabMountPoints(*fstab) : std::vector<std::string>();
    std::string table;
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && !mounts::readTable(fd, table))
        table.clear();
    if (fd >= 0)
        ::close(fd);
    // An unreadable table shows nothing mounted: a volume's path stays kept.
    return mounts::onAbsentVolume(path, points, mounts::parse(table));
}

// The folders a program started from the user's session is looked for in:
// this process's search path, the user's own program folders a log-in shell
// adds where they exist, and the system's usual ones.
std::vector<std::string> sessionSearchPath()
{
    std::vector<std::string> folders;
    const auto add = [&](std::string_view folder) {
        if (!folder.empty() && folder.front() == '/' &&
            std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.emplace_back(folder);
    };
    const char* own = std::getenv("PATH");
    for (std::string_view rest = own ? own : ""; !rest.empty();) {
        const auto colon = rest.find(':');
        add(rest.substr(0, colon));
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    if (const std::string home = xdg::home(); !home.empty() && home.front() == '/') {
        add(home + "/.local/bin");
        add(home + "/bin");
    }
    for (const char* folder : {"/usr/local/bin", "/usr/bin", "/bin", "/usr/local/games", "/usr/games"})
        add(folder);
    return folders;
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

Presence presenceOfPath(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) == 0)
        return Presence::Found;
    if (errno != ENOENT && errno != ENOTDIR)
        return Presence::Unknown;
    return onAbsentVolume(followedPath(path)) ? Presence::Unknown : Presence::Missing;
}

Presence presenceOf(const std::string& program)
{
    if (program.empty())
        return Presence::Unknown;
    if (program.front() == '/')
        return presenceOfPath(program);
    if (program.find('/') != std::string::npos)
        return Presence::Unknown;
    bool unsure = false;
    for (const auto& folder : sessionSearchPath()) {
        const std::string candidate = folder + "/" + program;
        struct stat info { };
        if (::stat(candidate.c_str(), &info) != 0)
            unsure = unsure || (errno != ENOENT && errno != ENOTDIR);
        else if (S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return Presence::Found;
    }
    return unsure ? Presence::Unknown : Presence::Missing;
}

Presence presenceOfCommand(std::string_view exec)
{
    const Presence program = presenceOf(programOfExec(exec));
    if (program != Presence::Missing || exec.empty() || exec.front() != '/')
        return program;
    // Unquoted, as some installers write it: any part up to a blank, or the
    // whole command, may be the program.
    bool unsure = false;
    for (std::size_t end = exec.find_first_of(" \t"); end != std::string_view::npos;
         end = exec.find_first_of(" \t", end + 1)) {
        const Presence part = presenceOfPath(std::string(exec.substr(0, end)));
        if (part == Presence::Found)
            return part;
        unsure = unsure || part == Presence::Unknown;
    }
    const Presence whole = presenceOfPath(std::string(exec));
    return whole == Presence::Missing && unsure ? Presence::Unknown : whole;
}

} // namespace corvatek::platform::desktop
