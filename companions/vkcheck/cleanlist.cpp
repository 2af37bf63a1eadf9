#include "cleanlist.h"

#include "walk.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace corvatek::vkcheck {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct Candidate {
    std::string path;
    FileId id;
    off_t size;
};

FileId idOf(const std::string& path)
{
    struct stat facts { };
    return ::stat(path.c_str(), &facts) == 0 ? FileId {facts.st_dev, facts.st_ino} : FileId {0, 0};
}

bool isCoreName(const char* name)
{
    if (std::strncmp(name, "core", 4) != 0)
        return false;
    if (name[4] == '\0')
        return true;
    if (name[4] != '.' || name[5] == '\0')
        return false;
    for (const char* c = name + 5; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

// An ELF file of type core: what the kernel dumps, not a file that happens
// to be called so.
bool isCoreDump(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    unsigned char head[18] {};
    const bool core = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) &&
        std::memcmp(head,
            "\x7f"
            "ELF",
            4) == 0 &&
        head[16] == 4 && head[17] == 0;
    ::close(fd);
    return core;
}

// An editor's backup `name~` beside its original, which is a file too.
bool isBackupBesideOriginal(int folder, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length < 2 || name[length - 1] != '~')
        return false;
    const std::string original(name, length - 1);
    struct stat facts { };
    return ::fstatat(folder, original.c_str(), &facts, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(facts.st_mode);
}

// Every file a process of this machine holds open or has mapped, as far as
// the user may see: the user's own processes, which are the ones that matter.
std::set<FileId> filesInUse()
{
    std::set<FileId> used;
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return used;
    while (const dirent* process = ::readdir(processes)) {
        if (process->d_name[0] < '1' || process->d_name[0] > '9')
            continue;
        const std::string base = std::string("/proc/") + process->d_name;
        if (DIR* fds = ::opendir((base + "/fd").c_str())) {
            const int folder = ::dirfd(fds);
            while (const dirent* fd = ::readdir(fds)) {
                struct stat facts { };
                if (fd->d_name[0] != '.' && ::fstatat(folder, fd->d_name, &facts, 0) == 0 && S_ISREG(facts.st_mode))
                    used.emplace(facts.st_dev, facts.st_ino);
            }
            ::closedir(fds);
        }
        // Mapped files: "<range> <perms> <offset> <major>:<minor> <inode> <path>".
        if (FILE* maps = std::fopen((base + "/maps").c_str(), "re")) {
            char line[4096];
            while (std::fgets(line, sizeof line, maps)) {
                unsigned major = 0, minor = 0;
                unsigned long long inode = 0;
                if (std::sscanf(line, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3 && inode != 0)
                    used.emplace(makedev(major, minor), ino_t(inode));
            }
            std::fclose(maps);
        }
    }
    ::closedir(processes);
    return used;
}

bool isInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

class Lister {
public:
    explicit Lister(const CleanRules& rules)
        : rules_(rules), cacheId_(idOf(rules.cache)), programId_(idOf(rules.programFolder)),
          oldest_(std::chrono::system_clock::to_time_t(rules.now - rules.unusedFor))
    {
    }

    void walkFrom(const std::string& root, bool isCache, CleanList& list)
    {
        if (isCache)
            enterCache(root);
        const Walked walked = walk(root, [&](const Entry& entry) {
            if (std::chrono::steady_clock::now() >= rules_.deadline) {
                list.complete = false;
                return Next::Stop;
            }
            ++list.filesLookedAt;
            if (entry.type == DT_DIR)
                return enterFolder(entry);
            if (entry.type == DT_REG) {
                const bool inCache = !cachePath_.empty() && isInside(entry.path, cachePath_);
                consider(entry, inCache, inCache && isInside(entry.path, thumbnailsPath_));
            }
            return Next::Go;
        });
        // A user without a cache folder has nothing there to list.
        if (!walked.opened && !isCache && list.error == 0)
            list.error = walked.error;
    }

    std::vector<Candidate>& candidates() { return candidates_; }

private:
    void enterCache(const std::string& path)
    {
        cachePath_ = path;
        thumbnailsPath_ = path + "/thumbnails";
    }

    Next enterFolder(const Entry& entry)
    {
        if (std::strcmp(entry.name, ".git") == 0)
            return Next::SkipFolder;
        struct stat facts { };
        if (::fstatat(entry.folder, entry.name, &facts, AT_SYMLINK_NOFOLLOW) != 0)
            return Next::SkipFolder;
        const FileId id {facts.st_dev, facts.st_ino};
        // The cache is walked on its own, wherever it is mounted.
        return id == programId_ || id == cacheId_ ? Next::SkipFolder : Next::Go;
    }

    void consider(const Entry& entry, bool inCache, bool inThumbnails)
    {
        const bool core = isCoreName(entry.name);
        const bool backup = !core && isBackupBesideOriginal(entry.folder, entry.name);
        if (!inCache && !core && !backup)
            return;
        struct stat facts { };
        if (::fstatat(entry.folder, entry.name, &facts, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(facts.st_mode) ||
            facts.st_uid != rules_.user)
            return;
        bool goes = backup || (core && isCoreDump(entry.folder, entry.name));
        if (!goes && inCache)
            goes = inThumbnails || (facts.st_mtime < oldest_ && facts.st_atime < oldest_);
        if (goes)
            candidates_.push_back({entry.path, {facts.st_dev, facts.st_ino}, facts.st_size});
    }

    const CleanRules& rules_;
    std::string cachePath_; // as the walk reached it
    std::string thumbnailsPath_;
    FileId cacheId_;
    FileId programId_;
    std::time_t oldest_;
    std::vector<Candidate> candidates_;
};

} // namespace

CleanList listFiles(const CleanRules& rules)
{
    CleanList list;
    Lister lister(rules);
    lister.walkFrom(rules.home, false, list);
    if (!rules.cache.empty() && list.complete)
        lister.walkFrom(rules.cache, true, list);
    const std::set<FileId> used = filesInUse();
    for (const Candidate& candidate : lister.candidates()) {
        if (used.count(candidate.id))
            continue;
        list.files.push_back(candidate.path);
        list.bytes += candidate.size;
    }
    return list;
}

} // namespace corvatek::vkcheck
