#include "engine.h"

#include "platform/datafolder.h"
#include "platform/linux/folderentries.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::probe {
namespace {

constexpr std::string_view kScratchPrefix = "vkprobe-";

// The user's cache folder for the suite, made when missing.
std::string cacheFolder()
{
    std::string base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        base = cache;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        base = std::string(home) + "/.cache";
    else
        return {};
    const std::string folder = base + "/corvatek";
    struct stat info { };
    // Root may use the user's own; anyone else only a folder of theirs.
    return platform::makeUserFolder(folder).empty() && ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            (info.st_uid == ::getuid() || ::getuid() == 0)
        ? folder
        : std::string();
}

bool isOwnFolder(int parent, const char* name)
{
    struct stat info { };
    return ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid();
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
            platform::folders::removeTree(fd, name.c_str());
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

std::vector<std::string> signatureFolders(const std::string& userFolder)
{
    const char* system = std::getenv("CORVATEK_SIGNATURES");
    return {userFolder, system && *system ? system : cl_retdbdir()};
}

SignatureLoad loadSignatures(Engine& engine, const std::string& scratch, companion::Language language)
{
    using companion::say;
    using companion::Text;
    SignatureLoad outcome;
    std::string looked;
    bool anyDamaged = false;
    for (const std::string& folder : signatureFolders(platform::userDataFolder() + "signatures")) {
        looked += (looked.empty() ? "" : say(language, Text::Or)) + folder;
        const Engine::Problem problem = engine.load(folder, scratch);
        std::string why;
        switch (problem.kind) {
        case Engine::Problem::None: outcome.folder = folder; return outcome;
        case Engine::Problem::Missing: continue; // no folder of the user's is no fault
        case Engine::Problem::Unreadable:
            why = say(language, Text::SignatureFolderUnreadable, {problem.detail});
            anyDamaged = true;
            break;
        case Engine::Problem::Empty: why = say(language, Text::SignatureFolderEmpty); break;
        case Engine::Problem::Damaged:
            why = say(language, Text::SignaturesNotLoaded, {problem.detail});
            anyDamaged = true;
            break;
        case Engine::Problem::NoSignatures:
            why = say(language, Text::SignaturesNone);
            anyDamaged = true;
            break;
        case Engine::Problem::Failed:
            outcome.problem = say(language, Text::EngineFailed, {problem.detail});
            return outcome;
        }
        outcome.notes.push_back(say(language, Text::SignaturesPassedOver, {folder, why}));
    }
    outcome.problem =
        anyDamaged ? say(language, Text::SignaturesUnusable) : say(language, Text::NoSignatures, {looked});
    return outcome;
}

ScratchFolder::ScratchFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && scanning::isRoomyMemoryFolder(runtime) && ::access(runtime, W_OK | X_OK) == 0 && makeIn(runtime))
        return;
    if (scanning::isRoomyMemoryFolder("/dev/shm") && makeIn("/dev/shm"))
        return;
    if (const std::string cache = cacheFolder(); !cache.empty())
        makeIn(cache);
}

bool ScratchFolder::makeIn(const std::string& base)
{
    removeStaleScratch(base);
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string path = base + "/" + std::string(kScratchPrefix) + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(path.data()))
            return false;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && stillNamed(fd, path)) {
            base_ = base;
            lock_ = fd;
            path_ = path;
            name_ = path.substr(base.size() + 1);
            return true;
        }
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

ScratchFolder::~ScratchFolder()
{
    if (path_.empty())
        return;
    const int fd = ::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        platform::folders::removeTree(fd, name_.c_str());
        ::close(fd);
    }
    ::close(lock_);
}

} // namespace corvatek::probe
