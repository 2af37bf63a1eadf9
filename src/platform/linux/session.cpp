// The user's session on Linux: a folder private to the user for the instance
// lock and socket, and XDG autostart entries
// (~/.config/autostart/<name>.desktop) standing in for the Windows Run key.
#include "platform/session.h"
#include "platform/common/localevariables.h"
#include "platform/files.h"
#include "platform/localsocket.h"
#include "platform/trayicon.h"

#include "desktopentry.h"
#include "xdg.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvatek::platform {
namespace {

bool isDirectory(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string autostartPath(const std::string& name)
{
    return xdg::autostartFolder() + "/" + name + ".desktop";
}

bool makeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!isDirectory(part) && ::mkdir(part.c_str(), 0755) != 0)
            return false;
    }
    return true;
}

// The Exec key quotes a program path and escapes it twice: once for the
// quoted argument, once for the key's string value.
std::string execValue(const std::string& program)
{
    std::string quoted = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted)
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

// Index of the line of `key` ("Exec=") in the [Desktop Entry] group, or -1.
long keyLine(const std::vector<std::string>& lines, std::string_view key)
{
    bool inEntry = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!line.empty() && line.front() == '[')
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.rfind(key, 0) == 0)
            return long(i);
    }
    return -1;
}

// Puts `line` in place of the key's line, else at the head of the main group.
void setKeyLine(std::vector<std::string>& lines, std::string_view key, const std::string& line)
{
    const long found = keyLine(lines, key);
    if (found >= 0) {
        lines[std::size_t(found)] = line;
        return;
    }
    auto group = std::find(lines.begin(), lines.end(), std::string("[Desktop Entry]"));
    if (group == lines.end())
        group = lines.insert(lines.begin(), "[Desktop Entry]");
    lines.insert(group + 1, line);
}

// A value of the string type, escaped as the desktop entry format asks.
std::string stringValue(const std::string& text)
{
    std::string value;
    for (const char c : text) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c;
        }
    }
    if (!value.empty() && value.front() == ' ')
        value.replace(0, 1, "\\s");
    return value;
}

// An absolute folder named by the environment, without trailing slashes;
// empty when unset or relative.
std::string folderOfEnvironment(const char* name)
{
    std::string folder = xdg::environment(name);
    if (folder.empty() || folder.front() != '/')
        return {};
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

struct PrivateFolder {
    std::string path; // empty when there is none
    std::string problem; // then why
};

// Why `path` is no place for this user's lock, or nothing when it is a real
// folder of the user's that nobody else may change.
std::string unsafeFolder(const std::string& path, const struct stat& info)
{
    if (S_ISLNK(info.st_mode))
        return path + " is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return path + " is not a folder";
    if (info.st_uid != ::geteuid())
        return path + " belongs to another user";
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return path + " can be changed by other users";
    return {};
}

// Anyone may create names in the temporary folder, so a name there is only
// trusted once it is known to be a folder of the user's that stays put.
PrivateFolder runtimeFolder()
{
    const std::string runtime = folderOfEnvironment("XDG_RUNTIME_DIR");
    struct stat info { };
    if (!runtime.empty() && ::stat(runtime.c_str(), &info) == 0 && unsafeFolder(runtime, info).empty())
        return {runtime, {}};

    std::string temporary = folderOfEnvironment("TMPDIR");
    if (temporary.empty())
        temporary = "/tmp";
    const std::string path = temporary + "/corvatek-" + std::to_string(::geteuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, path + " cannot be created (" + std::strerror(errno) + ")"};
    if (::lstat(path.c_str(), &info) != 0)
        return {{}, path + " cannot be examined (" + std::strerror(errno) + ")"};
    if (std::string problem = unsafeFolder(path, info); !problem.empty())
        return {{}, problem};
    // Without the sticky bit, whoever may write the parent may swap the folder.
    struct stat parent { };
    if (::stat(temporary.c_str(), &parent) != 0 ||
        ((parent.st_mode & (S_IWGRP | S_IWOTH)) && !(parent.st_mode & S_ISVTX)))
        return {{}, temporary + " lets other users replace " + path};
    return {path, {}};
}

int relayWriter = -1;

void relayRequest(int)
{
    const char byte = 1;
    [[maybe_unused]] auto ignored = ::write(relayWriter, &byte, 1);
}

} // namespace

int terminationRequests()
{
    static int reader = [] {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
            return -1;
        relayWriter = pair[0];
        struct sigaction action { };
        action.sa_handler = relayRequest;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGTERM, SIGHUP, SIGINT})
            ::sigaction(signal, &action, nullptr);
        return pair[1];
    }();
    return reader;
}

void clearTerminationRequests()
{
    const int reader = terminationRequests();
    char byte;
    while (reader >= 0 && ::read(reader, &byte, 1) > 0) { }
}

InstanceClaim claimInstance(const std::string& name)
{
    InstanceClaim claim;
    const PrivateFolder folder = runtimeFolder();
    if (folder.path.empty()) {
        claim.problem = folder.problem;
        return claim;
    }
    const std::string path = folder.path + "/" + name + ".lock";
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        claim.problem = path + " cannot be opened (" + std::strerror(errno) + ")";
        return claim;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        claim.problem = path + " is not a file of this user";
        return claim;
    }
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK) {
            claim.problem = path + " cannot be locked (" + std::strerror(error) + ")";
            return claim;
        }
        claim.result = InstanceClaim::Result::HeldElsewhere;
    } else {
        claim.result = InstanceClaim::Result::Claimed;
        claim.held_ = std::make_shared<FileLock>(FileLock(fd));
    }
    claim.socketPath = folder.path + "/" + name + ".socket";
    return claim;
}

std::string autostartCommand(const std::string& name)
{
    const auto lines = desktop::readLines(autostartPath(name));
    const long line = keyLine(lines, "Exec=");
    return line < 0 ? std::string()
                    : desktop::programOfExec(desktop::unescapeValue(lines[std::size_t(line)].substr(5)));
}

bool setAutostartCommand(const std::string& name, const std::string& command)
{
    const std::string path = autostartPath(name);
    auto lines = desktop::readLines(path);
    const std::string exec = "Exec=" + execValue(command);
    // A desktop skips the entry once the program is gone (a removed package).
    const std::string tryExec = "TryExec=" + stringValue(command);
    if (lines.empty()) {
        lines = {"[Desktop Entry]", "Type=Application", "Name=" + name, exec, tryExec, "Terminal=false",
            "X-GNOME-Autostart-enabled=true"};
    } else {
        setKeyLine(lines, "Exec=", exec);
        setKeyLine(lines, "TryExec=", tryExec);
    }
    if (!makeFolders(path))
        return false;
    std::string text;
    for (const auto& line : lines)
        text += line + '\n';
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool announceSecondStart(const InstanceClaim& claim)
{
    return claim.result == InstanceClaim::Result::HeldElsewhere && sendLocalMessage(claim.socketPath, "second-start");
}

bool tellInstance(const std::string& name, const std::string& line)
{
    const PrivateFolder folder = runtimeFolder();
    return !folder.path.empty() && sendLocalMessage(folder.path + "/" + name + ".socket", line);
}

WindowMessage readWindowMessage(const void*, std::uintptr_t)
{
    return {};
}

// The desktop's tray is reached through the toolkit.
std::unique_ptr<TrayIcon> addTrayIcon(
    const std::function<TrayImage(int)>&, const std::string&, std::function<void(TrayEvent)>)
{
    return nullptr;
}

std::string userLanguage()
{
    return messagesLocale();
}

} // namespace corvatek::platform
