#include "engine.h"

#include "platform/linux/folderentries.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace corvatek::probe {
namespace {

constexpr std::string_view kScratchPrefix = "vkprobe-";
constexpr long long kCleanFilesCached = 1024;

// The kinds of file cl_load takes signatures from.
bool isDatabaseName(std::string_view name)
{
    static constexpr std::string_view kinds[] = {"cvd", "cld", "cud", "hdb", "hsb", "hdu", "hsu", "mdb", "msb", "mdu",
        "msu", "ndb", "ndu", "ldb", "ldu", "sdb", "zmd", "rmd", "idb", "fp", "sfp", "gdb", "pdb", "wdb", "cbc", "ftm",
        "cdb", "crb", "yar", "yara"};
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    const std::string_view extension = name.substr(dot + 1);
    for (const std::string_view kind : kinds) {
        if (extension == kind)
            return true;
    }
    return false;
}

bool holdsDatabase(const std::string& folder)
{
    platform::FolderFiles identity;
    const platform::folders::Descriptor dir(platform::folders::open(folder, identity));
    bool found = false;
    if (dir.get() >= 0) {
        platform::folders::forEachEntry(dir.get(), [&](const char* name, unsigned char) {
            struct stat info { };
            if (!found && isDatabaseName(name) && ::fstatat(dir.get(), name, &info, 0) == 0 && S_ISREG(info.st_mode))
                found = true;
        });
    }
    return found;
}

bool isTmpfs(const std::string& folder)
{
    struct statfs info { };
    return !folder.empty() && folder.front() == '/' && ::statfs(folder.c_str(), &info) == 0 &&
        info.f_type == TMPFS_MAGIC;
}

bool isOwnFolder(int parent, const char* name)
{
    struct stat info { };
    return ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid();
}

// Removes a folder with what it holds, never following a link; libclamav's
// temporary folders are shallow.
void removeTree(int parent, const char* name, int depth = 0)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        platform::folders::forEachEntry(fd, [&](const char* entry, unsigned char) {
            if (::unlinkat(fd, entry, 0) != 0 && (errno == EISDIR || errno == EPERM) && depth < 32)
                removeTree(fd, entry, depth + 1);
        });
        ::close(fd);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// What scans that were killed left: the temporary folders whose lock no
// one holds. A running scan holds its folder's lock until it ends, and the
// system drops it when a scan is killed; process ids would not do, since a
// scan in another process namespace may share the folder.
void removeStaleScratch(const std::string& base)
{
    const int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (const std::string& name : platform::folders::names(fd)) {
        if (name.rfind(kScratchPrefix, 0) != 0 || !isOwnFolder(fd, name.c_str()))
            continue;
        const int scratch = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (scratch >= 0 && ::flock(scratch, LOCK_EX | LOCK_NB) == 0)
            removeTree(fd, name.c_str());
        if (scratch >= 0)
            ::close(scratch);
    }
    ::close(fd);
}

// True when `fd`, just locked, is still the folder `path` names: a cleanup
// may have removed it between its making and the lock.
bool stillNamed(int fd, const std::string& path)
{
    struct stat held {
    }, named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino;
}

} // namespace

std::optional<std::string> signatureFolder(const std::string& userFolder, std::vector<std::string>& looked)
{
    if (const char* chosen = std::getenv("CORVATEK_SIGNATURES"); chosen && *chosen) {
        looked.emplace_back(chosen);
        return holdsDatabase(chosen) ? std::optional<std::string>(chosen) : std::nullopt;
    }
    for (const std::string& folder : {userFolder, std::string(cl_retdbdir())}) {
        looked.push_back(folder);
        if (holdsDatabase(folder))
            return folder;
    }
    return std::nullopt;
}

ScratchFolder::ScratchFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && isTmpfs(runtime) && ::access(runtime, W_OK | X_OK) == 0)
        base_ = runtime;
    else if (isTmpfs("/dev/shm"))
        base_ = "/dev/shm";
    else
        return;
    removeStaleScratch(base_);
    for (int attempt = 0; attempt < 4 && path_.empty(); ++attempt) {
        std::string path = base_ + "/" + std::string(kScratchPrefix) + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(path.data()))
            return;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && stillNamed(fd, path)) {
            lock_ = fd;
            path_ = path;
            name_ = path.substr(base_.size() + 1);
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
}

ScratchFolder::~ScratchFolder()
{
    if (path_.empty())
        return;
    const int fd = ::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        removeTree(fd, name_.c_str());
        ::close(fd);
    }
    ::close(lock_);
}

Engine::~Engine()
{
    if (engine_)
        cl_engine_free(engine_);
}

std::string Engine::load(const std::string& folder, const std::string& tempFolder)
{
    cl_error_t status = cl_init(CL_INIT_DEFAULT);
    if (status != CL_SUCCESS)
        return std::string("libclamav could not start: ") + cl_strerror(status);
    engine_ = cl_engine_new();
    if (!engine_)
        return "libclamav could not make its engine";
    if (!tempFolder.empty() &&
        (status = cl_engine_set_str(engine_, CL_ENGINE_TMPDIR, tempFolder.c_str())) != CL_SUCCESS)
        return std::string("libclamav refused its temporary folder: ") + cl_strerror(status);
    // A run scans each file once: libclamav's default cache of clean files
    // (65,536 of them, 4 MiB) would mostly hold files never seen again. A
    // small one still spares the copies of a file that sit side by side.
    cl_engine_set_num(engine_, CL_ENGINE_CACHE_SIZE, kCleanFilesCached);
    status = cl_load(folder.c_str(), engine_, &signatures_, CL_DB_STDOPT);
    if (status != CL_SUCCESS)
        return "the signatures in " + folder + " could not be loaded: " + cl_strerror(status);
    status = cl_engine_compile(engine_);
    if (status != CL_SUCCESS)
        return std::string("the signatures could not be prepared: ") + cl_strerror(status);
    return {};
}

Engine::Verdict Engine::scan(int fd, const std::string& path) const
{
    // ClamAV's own defaults: every format parsed, heuristic alerts on, no
    // extra alert kinds.
    cl_scan_options options {};
    options.general = CL_SCAN_GENERAL_HEURISTICS;
    options.parse = ~0u;
    const char* name = nullptr;
    unsigned long scanned = 0;
    switch (cl_scandesc(fd, path.c_str(), &name, &scanned, engine_, &options)) {
    case CL_CLEAN: return {Verdict::Clean, {}};
    case CL_VIRUS: return {Verdict::Found, name ? name : "unnamed"};
    default: return {Verdict::Failed, {}};
    }
}

} // namespace corvatek::probe
