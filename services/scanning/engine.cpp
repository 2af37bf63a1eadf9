#include "engine.h"

#include "platform/linux/folderentries.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace corvatek::scanning {
namespace {

// Files up to this size are scanned from a copy in memory.
constexpr off_t kSmallFile = 256 << 10;

} // namespace

bool isRoomyMemoryFolder(const std::string& folder)
{
    struct statfs system { };
    struct statvfs room { };
    return !folder.empty() && folder.front() == '/' && ::statfs(folder.c_str(), &system) == 0 &&
        system.f_type == TMPFS_MAGIC && ::statvfs(folder.c_str(), &room) == 0 &&
        std::uint64_t(room.f_bavail) * room.f_frsize >= kScratchRoom;
}
namespace {

constexpr long long kCleanFilesCached = 1024;
constexpr std::string_view kLimitsAlert = "Heuristics.Limits.Exceeded";

// Once per process: the service loads again while other threads scan.
cl_error_t initialise()
{
    static std::once_flag once;
    static cl_error_t status = CL_SUCCESS;
    std::call_once(once, [] { status = cl_init(CL_INIT_DEFAULT); });
    return status;
}

} // namespace

Engine::~Engine()
{
    if (engine_)
        cl_engine_free(engine_);
}

void Engine::release()
{
    if (engine_)
        cl_engine_free(engine_);
    engine_ = nullptr;
    signatures_ = 0;
}

Engine::Problem Engine::load(
    const std::string& folder, const std::string& tempFolder, std::chrono::milliseconds scanTime)
{
    Problem problem = loadOpenFiles(folder, tempFolder, scanTime);
    if (problem.kind == Problem::None && signatures_ == 0)
        problem.kind = Problem::NoSignatures;
    if (problem.kind != Problem::None)
        release();
    return problem;
}

Engine::Problem Engine::loadOpenFiles(
    const std::string& folder, const std::string& tempFolder, std::chrono::milliseconds scanTime)
{
    release();
    platform::FolderFiles identity;
    const platform::folders::Descriptor dir(platform::folders::open(folder, identity));
    if (dir.get() < 0)
        return {errno == ENOENT ? Problem::Missing : Problem::Unreadable, std::strerror(errno)};
    if (tempFolder.empty())
        return {Problem::Failed, "no folder for temporary files"};
    // libclamav takes a folder and opens what it holds by name, blocking on
    // a pipe: it is given a folder of links to the regular files, each
    // already open, instead.
    struct OpenFiles {
        std::vector<int> fds;
        ~OpenFiles()
        {
            for (const int fd : fds)
                ::close(fd);
        }
    } opened;
    const std::string links = tempFolder + "/signatures";
    if (::mkdir(links.c_str(), 0700) != 0)
        return {Problem::Failed, std::strerror(errno)};
    const auto removeLinks = [&links] {
        const int fd = ::open(links.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            platform::folders::forEachEntry(fd, [fd](const char* name, unsigned char) { ::unlinkat(fd, name, 0); });
            ::close(fd);
        }
        ::rmdir(links.c_str());
    };
    std::size_t linked = 0;
    const bool listed = platform::folders::forEachEntry(dir.get(), [&](const char* name, unsigned char) {
        if (name[0] == '.')
            return;
        const int file = ::openat(dir.get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (file < 0)
            return;
        opened.fds.push_back(file);
        struct stat info { };
        if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode))
            return;
        const std::string target = "/proc/self/fd/" + std::to_string(file);
        if (::symlink(target.c_str(), (links + "/" + name).c_str()) == 0)
            ++linked;
    });
    if (!listed) {
        removeLinks();
        return {Problem::Unreadable, std::strerror(errno)};
    }
    if (linked == 0) {
        removeLinks();
        return {Problem::Empty, {}};
    }

    cl_error_t status = initialise();
    if (status == CL_SUCCESS && !(engine_ = cl_engine_new()))
        status = CL_EMEM;
    if (status == CL_SUCCESS)
        status = cl_engine_set_str(engine_, CL_ENGINE_TMPDIR, tempFolder.c_str());
    if (status == CL_SUCCESS) {
        // What an archive holds is bounded by the scan size alone: past
        // the file size libclamav would cut it short without a word.
        cl_engine_set_num(engine_, CL_ENGINE_MAX_FILESIZE, (long long)kMaxScanSize);
        cl_engine_set_num(engine_, CL_ENGINE_MAX_SCANSIZE, (long long)kMaxScanSize);
        cl_engine_set_num(engine_, CL_ENGINE_MAX_RECURSION, kMaxRecursion);
        cl_engine_set_num(engine_, CL_ENGINE_MAX_FILES, kMaxFiles);
        // A run scans each file once: libclamav's default cache of clean
        // files (65,536 of them, 4 MiB) would mostly hold files never seen
        // again. A small one still spares the copies of a file that sit
        // side by side.
        cl_engine_set_num(engine_, CL_ENGINE_CACHE_SIZE, kCleanFilesCached);
        if (scanTime.count() > 0)
            cl_engine_set_num(engine_, CL_ENGINE_MAX_SCANTIME, scanTime.count());
    }
    if (status != CL_SUCCESS) {
        removeLinks();
        return {Problem::Failed, cl_strerror(status)};
    }
    status = cl_load(links.c_str(), engine_, &signatures_, CL_DB_STDOPT);
    removeLinks();
    if (status != CL_SUCCESS)
        return {Problem::Damaged, cl_strerror(status)};
    if (signatures_ == 0)
        return {Problem::NoSignatures, {}};
    status = cl_engine_compile(engine_);
    if (status != CL_SUCCESS)
        return {Problem::Damaged, cl_strerror(status)};
    return {};
}

Engine::Verdict Engine::scan(int fd, const std::string& path) const
{
    // ClamAV's own defaults: every format parsed, heuristic alerts on, no
    // extra alert kinds; and an alert for what goes past the limits, so
    // that such a file is never counted clean.
    cl_scan_options options {};
    options.general = CL_SCAN_GENERAL_HEURISTICS;
    options.parse = ~0u;
    options.heuristic = CL_SCAN_HEURISTIC_EXCEEDS_MAX;
    const char* name = nullptr;
    unsigned long scanned = 0;
    cl_error_t status;
    // A small file is read whole and scanned from memory: libclamav would
    // map it anew, and unmapping in a threaded process interrupts every
    // processor it ran on, which costs more than the scan of such a file.
    thread_local std::vector<char> bytes;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size <= kSmallFile) {
        bytes.resize(std::size_t(info.st_size));
        const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
        cl_fmap_t* map = got == info.st_size ? cl_fmap_open_memory(bytes.data(), bytes.size()) : nullptr;
        if (!map)
            return {Verdict::Failed, {}, got < 0 ? std::strerror(errno) : "the file changed while it was read"};
        status = cl_scanmap_callback(map, path.empty() ? nullptr : path.c_str(), &name, &scanned, engine_, &options,
            nullptr);
        cl_fmap_close(map);
    } else {
        status = cl_scandesc(fd, path.empty() ? nullptr : path.c_str(), &name, &scanned, engine_, &options);
    }
    switch (status) {
    case CL_CLEAN: return {Verdict::Clean, {}, {}};
    case CL_VIRUS:
        if (name && std::string_view(name).starts_with(kLimitsAlert))
            return {Verdict::BeyondLimits, {}, {}};
        return {Verdict::Found, name ? name : "unnamed", {}};
    default: return {Verdict::Failed, {}, cl_strerror(status)};
    }
}

std::string describe(const Engine::Problem& problem)
{
    const auto with = [&problem](
                          std::string what) { return problem.detail.empty() ? what : what + ": " + problem.detail; };
    switch (problem.kind) {
    case Engine::Problem::None: return "loaded";
    case Engine::Problem::Missing: return with("the folder does not exist");
    case Engine::Problem::Unreadable: return with("the folder cannot be read");
    case Engine::Problem::Empty: return "the folder holds no signature database";
    case Engine::Problem::Damaged: return with("the database is damaged");
    case Engine::Problem::NoSignatures: return "the database holds no signatures";
    case Engine::Problem::Failed: return with("the engine could not be made");
    }
    return {};
}

} // namespace corvatek::scanning
