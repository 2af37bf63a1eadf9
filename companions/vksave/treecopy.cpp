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

using companion::BackupText;

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
std::optional<Reason> copyData(int in, int out, off_t size)
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
                return Reason {BackupText::ReadingFailed, errorText(errno)};
            if (n == 0) {
                hole = size; // shrank while copied: the rest reads as zeros
                break;
            }
            if (!writeAll(out, block.data(), std::size_t(n), at))
                return Reason {BackupText::WritingFailed, errorText(errno)};
            at += n;
        }
        offset = std::max(hole, data + 1);
    }
    if (::ftruncate(out, size) != 0)
        return Reason {BackupText::WritingFailed, errorText(errno)};
    return std::nullopt;
}

Reason specialKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return {BackupText::NamedPipe, {}};
    if (S_ISSOCK(mode))
        return {BackupText::Socket, {}};
    return {BackupText::Device, {}};
}

} // namespace

TreeCopy::TreeCopy(int sourceRoot, int destinationRoot, Report& report)
    : sourceRoot_(sourceRoot), destinationRoot_(destinationRoot), report_(report),
      sourceFacts_(factsAt(sourceRoot, "").value_or(Facts {})),
      destinationFacts_(factsAt(destinationRoot, "").value_or(Facts {})), times_(destinationRoot),
      keepOwners_(::geteuid() == 0 && keepsOwners(destinationRoot))
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
        return fail(path, Reason {BackupText::CannotList, errorText(errno)});
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
            fail(path, Reason {BackupText::ReadingFailed, errorText(errno)});
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
        fail(path, Reason {BackupText::OldCopyNotRemoved, errorText(errno)});
        return false;
    }
    fail(path, Reason {BackupText::FolderInPlace, {}});
    return false;
}

void TreeCopy::copySubfolder(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    if (facts.sameFile(destinationFacts_))
        return skip(path, Reason {BackupText::IsDestination, {}});
    const bool enter = !facts.otherMount(sourceFacts_);
    Descriptor from;
    if (enter) {
        if (std::find(ancestors_.begin(), ancestors_.end(), std::pair {facts.device, facts.inode}) != ancestors_.end())
            return skip(path, Reason {BackupText::LeadsBack, {}});
        from = Descriptor(::openat(source, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const std::optional<Facts> opened = from.valid() ? factsAt(from.get(), "") : std::nullopt;
        if (!opened)
            return fail(path, Reason {BackupText::ReadingFailed, errorText(errno)});
        if (!opened->sameFile(facts))
            return fail(path, Reason {BackupText::ChangedDuring, {}});
    }
    if (!clearFor(destination, name, true, path))
        return;
    bool made = ::mkdirat(destination, name.c_str(), 0700) == 0;
    if (made)
        ++report_.copied;
    else if (errno != EEXIST)
        return fail(path, Reason {BackupText::CannotMake, errorText(errno)});
    const Descriptor to(::openat(destination, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<Facts> kept = to.valid() ? factsAt(to.get(), "") : std::nullopt;
    if (!kept)
        return fail(path, Reason {BackupText::CannotOpen, errorText(errno)});
    // A folder swapped in for the one just made would not be empty.
    if (made) {
        const auto names = namesIn(to.get());
        made = kept->owner == ::geteuid() && names && names->empty();
    }
    // A folder someone else put there keeps its owner and permissions.
    const bool ours = made || !keepOwners_ || (kept->owner == facts.owner && kept->group == facts.group);
    if (enter) {
        ancestors_.emplace_back(facts.device, facts.inode);
        copyFolder(from.get(), to.get(), path);
        ancestors_.pop_back();
    } else {
        skip(path, Reason {BackupText::OtherFileSystem, {}});
    }
    // Last, as writing into the folder changes its time.
    if (ours)
        applyFacts(to.get(), facts);
    else
        skip(path, Reason {BackupText::OtherOwner, {}});
}

bool TreeCopy::plainlyOurs(const Facts& kept, const Facts& source) const
{
    // Another name of the same file, or a file mounted over the name, is
    // someone else's file: changing it would change theirs.
    if (kept.links != 1 || kept.mountRoot)
        return false;
    return !keepOwners_ || (kept.owner == source.owner && kept.group == source.group);
}

bool TreeCopy::keptAsIs(int destination, const std::string& name, const Facts& kept, const Facts& facts)
{
    if (!plainlyOurs(kept, facts))
        return false;
    // A link is as cheap to make anew as to change.
    if (!sameFacts(kept, facts) && (S_ISLNK(kept.mode) || !applyInPlace(destination, name, kept, facts)))
        return false;
    ++report_.unchanged;
    return true;
}

void TreeCopy::copyFile(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    const std::optional<Facts> kept = factsAt(destination, name.c_str());
    if (kept && S_ISREG(kept->mode) && kept->size == facts.size && times_.same(facts.modified, kept->modified) &&
        keptAsIs(destination, name, *kept, facts))
        return;
    if (!clearFor(destination, name, false, path))
        return;
    // Not blocking: should a pipe take the file's place, opening it must not wait.
    const Descriptor in(::openat(source, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::optional<Facts> opened = in.valid() ? factsAt(in.get(), "") : std::nullopt;
    if (!opened)
        return fail(path, Reason {BackupText::ReadingFailed, errorText(errno)});
    if (!S_ISREG(opened->mode) || !opened->sameFile(facts))
        return fail(path, Reason {BackupText::ChangedDuring, {}});

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
        return fail(path, Reason {BackupText::CannotWrite, errorText(errno)});
    // The times read before copying: a change meanwhile shows at the next run.
    std::optional<Reason> problem = copyData(in.get(), out.get(), opened->size);
    if (!problem) {
        applyFacts(out.get(), *opened);
        if (::renameat(destination, temporary.c_str(), destination, name.c_str()) != 0)
            problem = Reason {BackupText::CannotPutInPlace, errorText(errno)};
    }
    if (problem) {
        ::unlinkat(destination, temporary.c_str(), 0);
        return fail(path, *problem);
    }
    ++report_.copied;
    report_.copiedBytes += std::uint64_t(opened->size);
}

void TreeCopy::copyLink(
    int source, int destination, const std::string& name, const std::string& path, const Facts& facts)
{
    const std::optional<std::string> target = linkTarget(source, name, facts.size);
    if (!target)
        return fail(path, Reason {BackupText::ReadingFailed, errorText(errno)});
    const std::optional<Facts> kept = factsAt(destination, name.c_str());
    if (kept && S_ISLNK(kept->mode) && linkTarget(destination, name, kept->size) == target &&
        keptAsIs(destination, name, *kept, facts))
        return;
    if (!clearFor(destination, name, false, path))
        return;
    const std::string temporary = temporaryName();
    if (::symlinkat(target->c_str(), destination, temporary.c_str()) != 0)
        return fail(path, Reason {BackupText::CannotMake, errorText(errno)});
    applyToLink(destination, temporary, facts);
    if (::renameat(destination, temporary.c_str(), destination, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(destination, temporary.c_str(), 0);
        return fail(path, Reason {BackupText::CannotPutInPlace, errorText(error)});
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

bool TreeCopy::applyInPlace(int destination, const std::string& name, const Facts& kept, const Facts& facts) const
{
    // A path-only descriptor pins the file itself, checked again as the name
    // may have changed; its /proc name reaches it for the calls that take no
    // descriptor of that kind.
    const Descriptor file(::openat(destination, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<Facts> pinned = file.valid() ? factsAt(file.get(), "") : std::nullopt;
    if (!pinned || !S_ISREG(pinned->mode) || !pinned->sameFile(kept) || !plainlyOurs(*pinned, facts))
        return false;
    const std::string path = "/proc/self/fd/" + std::to_string(file.get());
    const timespec times[2] {{0, UTIME_OMIT}, facts.modified};
    if (::chmod(path.c_str(), facts.mode & 07777) != 0) { }
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) { }
    return true;
}

void TreeCopy::applyToLink(int destination, const std::string& name, const Facts& facts) const
{
    // Pinned: a file put under the name meanwhile must not get the owner.
    const Descriptor link(::openat(destination, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<Facts> pinned = link.valid() ? factsAt(link.get(), "") : std::nullopt;
    if (!pinned || !S_ISLNK(pinned->mode) || pinned->links != 1)
        return;
    const timespec times[2] {{0, UTIME_OMIT}, facts.modified};
    if (keepOwners_ && ::fchownat(link.get(), "", facts.owner, facts.group, AT_EMPTY_PATH) != 0) { }
    if (::utimensat(link.get(), "", times, AT_EMPTY_PATH) != 0) { }
}

void TreeCopy::skip(const std::string& path, Reason reason)
{
    ++report_.skipped;
    report_.notes.push_back({false, path, std::move(reason)});
}

void TreeCopy::fail(const std::string& path, Reason reason)
{
    ++report_.failed;
    report_.notes.push_back({true, path, std::move(reason)});
}

} // namespace corvatek::backup
