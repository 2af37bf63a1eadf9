// corvatek-guard: the system service that keeps the machine's one engine
// loaded, scans the files clients hand it as open descriptors, and checks
// the files of the users whose guard clients are connected as they are
// opened, run and written.
//
//   corvatek-guard [--database <folder>] [--socket <path>] [--timeout <seconds>]
//                  [--open-timeout <seconds>]
//
// Exit status: 0 stopped by SIGTERM or SIGINT, 1 could not serve, 2 a bad
// argument.
#include "log.h"
#include "service.h"

#include "platform/linux/folderentries.h"
#include "scanning/engine.h"
#include "scanning/guardprotocol.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace corvatek;

namespace {

constexpr const char* kUsage =
    "usage: corvatek-guard [--database <folder>] [--socket <path>] [--timeout <seconds>] [--open-timeout <seconds>]\n"
    "  --database      the ClamAV signature folder (default /var/lib/clamav)\n"
    "  --socket        where clients connect (default /run/corvatek/guard.socket)\n"
    "  --timeout       a scan's deadline in seconds (default 30)\n"
    "  --open-timeout  how long an open or a run waits for its scan (default 2)\n";

// Seconds, more than 0 and at most an hour, as milliseconds.
std::optional<std::chrono::milliseconds> seconds(const char* value)
{
    char* end = nullptr;
    const double seconds = std::strtod(value, &end);
    if (end == value || *end || !std::isfinite(seconds) || seconds <= 0 || seconds > 3600)
        return std::nullopt;
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

// libclamav's temporary files: in memory when there is room, else in the
// service's private /tmp under systemd.
std::string makeTempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string folder = base && *base == '/' ? base : "/tmp";
    if (!scanning::isRoomyMemoryFolder(folder) && scanning::isRoomyMemoryFolder("/dev/shm"))
        folder = "/dev/shm";
    std::string path = folder + "/corvatek-guard-XXXXXX";
    return ::mkdtemp(path.data()) ? path : std::string();
}

} // namespace

int main(int argc, char** argv)
{
    guard::Settings settings;
    settings.database = "/var/lib/clamav";
    settings.socket = std::string(scanning::guard::kDefaultSocket);
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        const bool timed = option == "--timeout" || option == "--open-timeout";
        if (i + 1 >= argc || (option != "--database" && option != "--socket" && !timed)) {
            std::cerr << kUsage;
            return 2;
        }
        const char* value = argv[++i];
        if (option == "--database") {
            settings.database = value;
        } else if (option == "--socket") {
            settings.socket = value;
        } else if (const auto limit = seconds(value)) {
            (option == "--timeout" ? settings.deadline : settings.openDeadline) = *limit;
        } else {
            std::cerr << "corvatek-guard: " << option << " takes seconds, more than 0 and at most 3600\n" << kUsage;
            return 2;
        }
    }
    settings.workers = std::max(1u, std::thread::hardware_concurrency());

    // Every thread leaves these signals to the event loop, which reads them.
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&handled, signal);
    ::pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A connection and a scan's descriptor per client, and one per access
    // waiting for its scan.
    rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 16384);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    settings.tempFolder = makeTempFolder();
    if (settings.tempFolder.empty()) {
        guard::log(guard::Priority::Error, std::string("no folder for temporary files: ") + std::strerror(errno));
        return 1;
    }
    const std::string temp = settings.tempFolder;
    guard::Service service(std::move(settings));
    const int status = service.run();
    platform::folders::removeTree(AT_FDCWD, temp.c_str());
    // Scans still running would hold the end up to their deadline: what
    // they hold the system frees.
    std::fflush(nullptr);
    std::_Exit(status);
}
