// A stand-in for every companion program. Copied into a test's program folder
// under a companion's name, it appends one line to journal.txt at each start
// and then follows "<its name>.behaviour" from the same folder, one command a
// line:
//   exit [code]          end now
//   stay                 wait until terminated (also what happens at the end)
//   sleep <ms>
//   write <file> <text>  replace <file> with <text> and CR LF
//   environment <file> <variable>
//                        replace <file> with the variable's value and CR LF
//   lock <file> <ms>     hold an exclusive lock on <file> (-1: for ever), then
//                        journal "unlocked <file>"
//   update <file> <n>    add 1 to the number in <file>, n times, each under the
//                        lock as the companions' guide shows; then journal
//                        "updated <file>"
// Journal line: name TAB pid TAB open-descriptor-count TAB session id
//               TAB stdin-target {TAB argument}
// On Windows the name is the exe file name, the lock is an open without
// sharing (as the control centre's own lock there), and the descriptor
// count, session id and stdin target read "-": Windows has no such figures
// to compare. Text there is UTF-8 like everywhere else.
#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string folder;
std::string name;

void sleepMs(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// What the operating system must do differently: the program's own path and
// arguments, the journal's process fields, appending to the journal, and the
// exclusive lock on a shared file.
#ifdef _WIN32

std::wstring wide(const std::string& text)
{
    std::wstring result(text.size(), L'\0');
    result.resize(std::size_t(
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), int(result.size()))));
    return result;
}

std::string utf8(const std::wstring& text)
{
    std::string result(text.size() * 3, '\0');
    result.resize(std::size_t(::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), int(text.size()), result.data(), int(result.size()), nullptr, nullptr)));
    return result;
}

std::string selfPath()
{
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    return utf8(path);
}

std::size_t lastSeparator(const std::string& path)
{
    return path.find_last_of("\\/");
}

// The arguments as the program's own split of its command line gives them.
std::vector<std::string> arguments(int, char**)
{
    std::vector<std::string> list;
    int count = 0;
    if (wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            list.push_back(utf8(words[i]));
        ::LocalFree(words);
    }
    return list;
}

std::string processFields()
{
    return std::to_string(::GetCurrentProcessId()) + "\t-\t-\t-";
}

void journal(const std::string& line)
{
    const std::string text = line + "\n";
    const HANDLE file = ::CreateFileW(wide(folder + "journal.txt").c_str(), FILE_APPEND_DATA,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }
}

using Locked = HANDLE;
const Locked kNotLocked = INVALID_HANDLE_VALUE;

// Opened without sharing, waiting while someone else has it open.
Locked lockFile(const std::string& path, bool create)
{
    while (true) {
        const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
            create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION)
            return file;
        sleepMs(10);
    }
}

void unlock(Locked file)
{
    ::CloseHandle(file);
}

// Nobody can replace a file held without sharing, so the number is written
// in place, as the companions do there.
bool increment(const std::string& path)
{
    const HANDLE file = lockFile(path, false);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[32] = {};
    DWORD n = 0;
    const bool read = ::ReadFile(file, buffer, sizeof buffer - 1, &n, nullptr);
    const std::string text = std::to_string(std::atol(read && n > 0 ? buffer : "0") + 1);
    DWORD written = 0;
    const bool done = read && ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
        ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size() &&
        ::SetEndOfFile(file) && ::FlushFileBuffers(file);
    ::CloseHandle(file);
    return done;
}

[[noreturn]] void stay()
{
    while (true)
        ::Sleep(INFINITE);
}

#else

std::string link(const char* path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

std::string selfPath()
{
    return link("/proc/self/exe");
}

std::size_t lastSeparator(const std::string& path)
{
    return path.rfind('/');
}

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        ::closedir(dir);
    }
    return count - 1; // the listing's own descriptor
}

std::string processFields()
{
    std::ostringstream fields;
    fields << ::getpid() << '\t' << openDescriptors() << '\t' << ::getsid(0) << '\t' << link("/proc/self/fd/0");
    return fields.str();
}

void journal(const std::string& line)
{
    const std::string text = line + "\n";
    const int fd = ::open((folder + "journal.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] auto n = ::write(fd, text.data(), text.size());
        ::close(fd);
    }
}

using Locked = int;
const Locked kNotLocked = -1;

Locked lockFile(const std::string& path, bool)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return fd < 0 || ::flock(fd, LOCK_EX) != 0 ? -1 : fd;
}

void unlock(Locked fd)
{
    ::close(fd);
}

// The companions' guide: lock, then make sure the file is still the one the
// path names.
int lockSharedFile(const std::string& path)
{
    while (true) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return -1;
        if (::flock(fd, LOCK_EX) != 0) {
            ::close(fd);
            return -1;
        }
        struct stat held { };
        struct stat named { };
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
}

bool increment(const std::string& path)
{
    const int fd = lockSharedFile(path);
    if (fd < 0)
        return false;
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    const std::string text = std::to_string(std::atol(n > 0 ? buffer : "0") + 1);
    const std::string temporary = path + ".companion";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = out >= 0 && ::write(out, text.data(), text.size()) == ssize_t(text.size()) &&
        ::fsync(out) == 0 && ::close(out) == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
    ::close(fd);
    return written;
}

[[noreturn]] void stay()
{
    while (true)
        ::pause();
}

#endif

// A UTF-8 path as the file streams take it on every system.
std::filesystem::path pathOf(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace

int main(int argc, char** argv)
{
    const std::string self = selfPath();
    folder = self.substr(0, lastSeparator(self) + 1);
    name = self.substr(lastSeparator(self) + 1);

    std::ostringstream line;
    line << name << '\t' << processFields();
    for (const std::string& argument : arguments(argc, argv))
        line << '\t' << argument;
    journal(line.str());

    std::ifstream behaviour(pathOf(folder + name + ".behaviour"));
    std::string command;
    while (std::getline(behaviour, command)) {
        std::istringstream words(command);
        std::string verb;
        words >> verb;
        if (verb == "exit") {
            int code = 0;
            words >> code;
            return code;
        } else if (verb == "stay") {
            stay();
        } else if (verb == "sleep") {
            long ms = 0;
            words >> ms;
            sleepMs(ms);
        } else if (verb == "write") {
            std::string file, text;
            words >> file;
            std::getline(words >> std::ws, text);
            std::ofstream(pathOf(folder + file), std::ios::binary) << text << "\r\n";
        } else if (verb == "environment") {
            std::string file, variable;
            words >> file >> variable;
            const char* value = std::getenv(variable.c_str());
            std::ofstream(pathOf(folder + file), std::ios::binary) << (value ? value : "") << "\r\n";
        } else if (verb == "update") {
            std::string file;
            long times = 0;
            words >> file >> times;
            for (long i = 0; i < times; ++i) {
                if (!increment(folder + file))
                    return 4;
            }
            journal("updated " + file);
        } else if (verb == "lock") {
            std::string file;
            long ms = -1;
            words >> file >> ms;
            const Locked held = lockFile(folder + file, true);
            if (held == kNotLocked)
                return 3;
            journal("locked " + file);
            if (ms < 0)
                stay();
            sleepMs(ms);
            journal("unlocked " + file);
            unlock(held);
        }
    }
    stay();
}
