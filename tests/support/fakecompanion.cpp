// A stand-in for every companion program. Copied into a test's program folder
// under a companion's name, it appends one line to journal.txt at each start
// and then follows "<its name>.behaviour" from the same folder, one command a
// line:
//   exit [code]          end now
//   stay                 wait until terminated (also what happens at the end)
//   sleep <ms>
//   write <file> <text>  replace <file> with <text> and CR LF
//   lock <file> <ms>     hold an exclusive lock on <file> (-1: for ever), then
//                        journal "unlocked <file>"
//   update <file> <n>    add 1 to the number in <file>, n times, each under the
//                        lock as the companions' guide shows; then journal
//                        "updated <file>"
// Journal line: name TAB pid TAB open-descriptor-count TAB session id
//               TAB stdin-target {TAB argument}
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string folder;
std::string name;

void journal(const std::string& line)
{
    const std::string text = line + "\n";
    const int fd = ::open((folder + "journal.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] auto n = ::write(fd, text.data(), text.size());
        ::close(fd);
    }
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

std::string link(const char* path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

void sleepMs(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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

} // namespace

int main(int argc, char** argv)
{
    const std::string self = link("/proc/self/exe");
    folder = self.substr(0, self.rfind('/') + 1);
    name = self.substr(self.rfind('/') + 1);

    std::ostringstream line;
    line << name << '\t' << ::getpid() << '\t' << openDescriptors() << '\t' << ::getsid(0) << '\t'
         << link("/proc/self/fd/0");
    for (int i = 1; i < argc; ++i)
        line << '\t' << argv[i];
    journal(line.str());

    std::ifstream behaviour(folder + name + ".behaviour");
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
            std::ofstream(folder + file, std::ios::binary) << text << "\r\n";
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
            const int fd = ::open((folder + file).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                return 3;
            journal("locked " + file);
            if (ms < 0)
                stay();
            sleepMs(ms);
            journal("unlocked " + file);
            ::close(fd);
        }
    }
    stay();
}
