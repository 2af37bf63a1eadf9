#include "treecopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

namespace corvatek::backup {
namespace {

constexpr std::size_t kBlock = 256 * 1024;

std::optional<std::vector<std::string>> namesIn(int folder)
{
    // A descriptor of its own: listing moves its position.
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* const stream = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!stream) {
        const int error = errno;
        if (listed >= 0)
            ::close(listed);
        errno = error;
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(stream);
    if (error != 0) {
        errno = error;
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> linkTarget(int folder, const std::string& name, off_t size)
{
    std::string target(std::size_t(std::max<off_t>(size, 0)) + 1, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = ::readlinkat(folder, name.c_str(), target.data(), target.size());
        if (n < 0)
            return std::nullopt;
        if (std::size_t(n) < target.size()) {
            target.resize(std::size_t(n));
            return target;
        }
        target.resize(target.size() * 2 + 256); // grew since it was looked at
    }
    errno = ENAMETOOLONG;
    return std::nullopt;
}

bool writeAll(int fd, const char* data, std::size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
        at += n;
    }
    return true;
}

// Copies the first `size` bytes, data regions only: holes stay holes, so a
// sparse file stays sparse. Returns what went wrong, or nothing.
std::string copyData(int in, int out, off_t size)
{
    static std::vector<char> block(kBlock);
    off_t offset = 0;
    while (offset < size) {
        off_t data = ::lseek(in, offset, SEEK_DATA);
        off_t hole = size;
        if (data < 0 && errno == ENXIO)
            break; // a hole up to the end
        if (data < 0) {
            data = offset; // no hole support: all of it is data
        } else {
            hole = ::lseek(in, data, SEEK_HOLE);
            hole = hole < 0 ? size : std::min(hole, size);
        }
        for (off_t at = data; at < hole;) {
            const ssize_t n = ::pread(in, block.data(), std::size_t(std::min<off_t>(hole - at, kBlock)), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return "reading failed: " + errorText(errno);
            if (n == 0) {
                hole = size; // shrank while copied: the rest reads as zeros
                break;
            }
            if (!writeAll(out, block.data(), std::size_t(n), at))
                return "writing the copy failed: " + errorText(errno);
            at += n;
        }
        offset = std::max(hole, data + 1);
    }
    if (::ftruncate(out, size) != 0)
        return "writing the copy failed: " + errorText(errno);
    return {};
}

const char* specialKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a device";
}

} // namespace

TreeCopy::TreeCopy(int sourceRoot, int destinationRoot, Report& report)
    : sourceRoot_(sourceRoot), destinationRoot_(destinationRoot), report_(report),
      sourceFacts_(factsAt(sourceRoot, "").value_or(Facts {})),
      destinationFacts_(factsAt(destinationRoot, "").value_or(Facts {})), times_(destinationRoot),
      keepOwners_(::geteuid() == 0)
{
}

void TreeCopy::run()
{
    ancestors_.assign(1, {sourceFacts_.device, sourceFacts_.inode});
    copyFolder(sourceRoot_, destinationRoot_, {});
    applyFacts(destinationRoot_, sourceFacts_);
}

void TreeCopy::copyFolder(int source, int destination, const std::string& path)
{
    const auto names = namesIn(source);
    if (!names)
        return fail(path, "cannot be listed: " + errorText(errno));
    removeLeftovers(destination, {names->begin(), names->end()});
    for (const std::string& name : *names)
        copyEntry(source, destination, name, path.empty() ? name : path + '/' + name);
}

void TreeCopy::removeLeftovers(int destination, const std::set<std::string>& sourceNames)
{
    const auto names = namesIn(destination);
    if (!names)
        return;
    for (const std::string& name : *names) {
        // Only files: a killed run never leaves a folder under such a name.
        if (isTemporaryName(name) && !sourceNames.contains(name) && ::unlinkat(destination, name.c_str(), 0) == 0)
            ++report_.leftoversRemoved;
    }
}

void TreeCopy::copyEntry(int source, int destination, const std::string& name, const std::string& path)
{
    const std::optional<Facts> facts = factsAt(source, name.c_str());
    if (!facts) {
        if (errno != ENOENT) // gone since the listing: nothing to back up
            fail(path, errorText(errno));
        return;
    }
    if (S_ISDIR(facts->mode))
        copySubfolder(source, destination, name, path, *facts);
    else if (S_ISREG(facts->mode))
        copyFile(source, destination, name, path, *facts);
    else if (S_ISLNK(facts->mode))
        copyLink(source, destination, name, path, *facts);
    else
        skip(path, specialKind(facts->mode));
}

bool TreeCopy::clearFor(int destination, const std::string& name, bool folder, const std::string& path)
{
    const std::optional<Facts> kept = factsAt(destination, name.c_str());
    if (!kept || S_ISDIR(kept->mode) == folder)
        return true;
    if (folder) {
        // The backup mirrors the source: the old file gives way to the folder.
        if (::unlinkat(destination, name.c_str(), 0) == 0)
            return true;
        fail(path, "the old copy cannot be removed: " + errorText(errno));
        return false;
    }
    fail(path, "a folder is in its place in the backup");
    return false;
}

void TreeCopy::copySubfolder(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    if (facts.sameFile(destinationFacts_))
        return skip(path, "it is the backup's destination");
    const bool enter = !facts.otherMount(sourceFacts_);
    Descriptor from;
    if (enter) {
        if (std::find(ancestors_.begin(), ancestors_.end(), std::pair {facts.device, facts.inode}) != ancestors_.end())
            return skip(path, "it leads back to a folder above it");
        from = Descriptor(::openat(source, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const std::optional<Facts> opened = from.valid() ? factsAt(from.get(), "") : std::nullopt;
        if (!opened)
            return fail(path, errorText(errno));
        if (!opened->sameFile(facts))
            return fail(path, "it changed during the backup");
    }
    if (!clearFor(destination, name, true, path))
        return;
    if (::mkdirat(destination, name.c_str(), 0700) == 0)
        ++report_.copied;
    else if (errno != EEXIST)
        return fail(path, "cannot be made in the backup: " + errorText(errno));
    const Descriptor to(::openat(destination, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to.valid())
        return fail(path, "cannot be opened in the backup: " + errorText(errno));
    if (enter) {
        ancestors_.emplace_back(facts.device, facts.inode);
        copyFolder(from.get(), to.get(), path);
        ancestors_.pop_back();
    } else {
        skip(path, "another file system, not entered");
    }
    // Last, as writing into the folder changes its time.
    applyFacts(to.get(), facts);
}

void TreeCopy::keepUnchanged(int destination, const std::string& name, const Facts& kept, const Facts& facts)
{
    ++report_.unchanged;
    // A permission or time change alone needs no new copy.
    if (!sameFacts(kept, facts))
        applyFactsAt(destination, name, facts);
}

void TreeCopy::copyFile(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    const std::optional<Facts> kept = factsAt(destination, name.c_str());
    if (kept && S_ISREG(kept->mode) && kept->size == facts.size && times_.same(facts.modified, kept->modified))
        return keepUnchanged(destination, name, *kept, facts);
    if (!clearFor(destination, name, false, path))
        return;
    // Not blocking: should a pipe take the file's place, opening it must not wait.
    const Descriptor in(::openat(source, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::optional<Facts> opened = in.valid() ? factsAt(in.get(), "") : std::nullopt;
    if (!opened)
        return fail(path, errorText(errno));
    if (!S_ISREG(opened->mode) || !opened->sameFile(facts))
        return fail(path, "it changed during the backup");

    std::string temporary;
    Descriptor out;
    for (int attempt = 0; attempt < 8 && !out.valid(); ++attempt) {
        temporary = temporaryName();
        out = Descriptor(::openat(
            destination, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
        if (!out.valid() && errno != EEXIST)
            break;
    }
    if (!out.valid())
        return fail(path, "cannot be written in the backup: " + errorText(errno));
    // The times read before copying: a change meanwhile shows at the next run.
    std::string problem = copyData(in.get(), out.get(), opened->size);
    if (problem.empty()) {
        applyFacts(out.get(), *opened);
        if (::renameat(destination, temporary.c_str(), destination, name.c_str()) != 0)
            problem = "cannot be put in place: " + errorText(errno);
    }
    if (!problem.empty()) {
        ::unlinkat(destination, temporary.c_str(), 0);
        return fail(path, problem);
    }
    ++report_.copied;
    report_.copiedBytes += std::uint64_t(opened->size);
}

void TreeCopy::copyLink(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    const std::optional<std::string> target = linkTarget(source, name, facts.size);
    if (!target)
        return fail(path, errorText(errno));
    const std::optional<Facts> kept = factsAt(destination, name.c_str());
    if (kept && S_ISLNK(kept->mode) && linkTarget(destination, name, kept->size) == target)
        return keepUnchanged(destination, name, *kept, facts);
    if (!clearFor(destination, name, false, path))
        return;
    const std::string temporary = temporaryName();
    if (::symlinkat(target->c_str(), destination, temporary.c_str()) != 0)
        return fail(path, "cannot be made in the backup: " + errorText(errno));
    applyFactsAt(destination, temporary, facts);
    if (::renameat(destination, temporary.c_str(), destination, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(destination, temporary.c_str(), 0);
        return fail(path, "cannot be put in place: " + errorText(error));
    }
    ++report_.copied;
}

bool TreeCopy::sameFacts(const Facts& kept, const Facts& source) const
{
    const bool sameMode = S_ISLNK(source.mode) || (kept.mode & 07777) == (source.mode & 07777);
    const bool sameOwner = !keepOwners_ || (kept.owner == source.owner && kept.group == source.group);
    return sameMode && sameOwner && times_.same(source.modified, kept.modified);
}

void TreeCopy::applyFacts(int fd, const Facts& facts) const
{
    // Each may fail where the file system keeps no such thing (FAT has no
    // owners): the copy stays, as its data is what matters.
    if (keepOwners_ && ::fchown(fd, facts.owner, facts.group) != 0) { }
    if (::fchmod(fd, facts.mode & 07777) != 0) { }
    const timespec times[2] {{0, UTIME_OMIT}, facts.modified};
    if (::futimens(fd, times) != 0) { }
}

void TreeCopy::applyFactsAt(int destination, const std::string& name, const Facts& facts) const
{
    const timespec times[2] {{0, UTIME_OMIT}, facts.modified};
    if (S_ISLNK(facts.mode)) {
        if (keepOwners_ && ::fchownat(destination, name.c_str(), facts.owner, facts.group, AT_SYMLINK_NOFOLLOW) != 0) {
        }
        if (::utimensat(destination, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) { }
        return;
    }
    // A path-only descriptor pins the file itself; its /proc name reaches it
    // for the calls that take no descriptor of that kind.
    const Descriptor file(::openat(destination, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<Facts> opened = file.valid() ? factsAt(file.get(), "") : std::nullopt;
    if (!opened || !S_ISREG(opened->mode))
        return;
    const std::string pinned = "/proc/self/fd/" + std::to_string(file.get());
    if (keepOwners_ && ::fchownat(file.get(), "", facts.owner, facts.group, AT_EMPTY_PATH) != 0) { }
    if (::chmod(pinned.c_str(), facts.mode & 07777) != 0) { }
    if (::utimensat(AT_FDCWD, pinned.c_str(), times, 0) != 0) { }
}

void TreeCopy::skip(const std::string& path, std::string reason)
{
    ++report_.skipped;
    report_.notes.push_back({false, path, std::move(reason)});
}

void TreeCopy::fail(const std::string& path, std::string reason)
{
    ++report_.failed;
    report_.notes.push_back({true, path, std::move(reason)});
}

} // namespace corvatek::backup
