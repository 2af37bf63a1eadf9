// Reading program files for their facts, reading outside data whole within
// a bound, and the two files of a transform.
#include "platform/filecontent.h"

#include "folderentries.h"
#include "platform/common/filesignature.h"
#include "platform/common/transformstreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform {
namespace {

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Pipe;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    return FileKind::Socket;
}

// A path holding a NUL byte would name the file before it.
bool usablePath(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

using folders::Descriptor;

int openFile(const std::string& path, int flags, mode_t mode = 0)
{
    if (!usablePath(path)) {
        errno = ENOENT;
        return -1;
    }
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads exactly `count` bytes at `offset`; false on an error or when the file
// ends first.
bool readExactly(int fd, unsigned char* into, std::size_t count, std::uint64_t offset)
{
    while (count > 0) {
        const ssize_t n = ::pread(fd, into, count, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        count -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

} // namespace

FileFacts fileFacts(const std::string& path)
{
    FileFacts facts;
    struct stat named { };
    if (!usablePath(path) || ::stat(path.c_str(), &named) != 0)
        return facts;
    facts.kind = kindOf(named.st_mode);
    facts.modified = named.st_mtim.tv_sec;
    // Opening a device may act on it (a tape rewinds), and a pipe has no
    // content to sum: only regular files are read.
    if (facts.kind != FileKind::Regular)
        return facts;
    facts.executable = (named.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    const Descriptor fd(openFile(path, O_RDONLY | O_NONBLOCK));
    struct stat opened { };
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return facts;
    if (const auto window = signature::windowOf(std::uint64_t(opened.st_size))) {
        unsigned char words[2000];
        if (readExactly(fd.get(), words, window->bytes, window->offset))
            facts.signature = signature::sumOfWords(words, window->bytes);
    }
    return facts;
}

namespace {

// The transform's two files as descriptors; both are closed when it goes.
class DescriptorStreams final : public backend::TransformStreams {
public:
    DescriptorStreams(int in, int out) : in_(in), out_(out) { }

    Moved read(unsigned char* into, std::size_t count) override
    {
        while (true) {
            const ssize_t got = ::read(in_.get(), into, count);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return failed(errno);
            return Moved::bytes(std::size_t(got));
        }
    }

    Moved write(const unsigned char* from, std::size_t count) override
    {
        while (true) {
            const ssize_t put = ::write(out_.get(), from, count);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return failed(put < 0 ? errno : ENOSPC);
            return Moved::bytes(std::size_t(put));
        }
    }

    std::optional<std::string> closeDestination() override
    {
        if (out_.close() != 0)
            return std::strerror(errno);
        return std::nullopt;
    }

private:
    static Moved failed(int error) { return Moved::failure(std::strerror(error)); }

    Descriptor in_;
    Descriptor out_;
};

} // namespace

std::unique_ptr<backend::TransformStreams> backend::openTransform(
    const std::string& source, const std::string& destination, TransformOutcome& outcome)
{
    const auto fail = [&](TransformOutcome::Step step, int error) {
        outcome.status = TransformOutcome::Failed;
        outcome.step = step;
        outcome.reason = std::strerror(error);
        return nullptr;
    };

    // Never waits for a writer on a pipe; the source is checked to be a
    // regular file before anything else happens.
    Descriptor in(openFile(source, O_RDONLY | O_NONBLOCK));
    if (in.get() < 0)
        return fail(TransformOutcome::OpenSource, errno);
    struct stat from { };
    if (::fstat(in.get(), &from) != 0)
        return fail(TransformOutcome::OpenSource, errno);
    if (!S_ISREG(from.st_mode)) {
        outcome.status = TransformOutcome::NotARegularFile;
        return nullptr;
    }

    // Not truncated on opening: the destination may be the source itself.
    // A copy of a private file must not be readable by more people.
    const mode_t sourceBits = from.st_mode & 0777;
    Descriptor out(openFile(destination, O_WRONLY | O_CREAT | O_NONBLOCK, sourceBits));
    if (out.get() < 0)
        return fail(TransformOutcome::CreateDestination, errno);
    struct stat to { };
    if (::fstat(out.get(), &to) != 0)
        return fail(TransformOutcome::CreateDestination, errno);
    if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
        outcome.status = TransformOutcome::SameFile;
        return nullptr;
    }
    // Narrowed before anything is written, so that a file that cannot be
    // narrowed keeps its old content.
    if (S_ISREG(to.st_mode) && (to.st_mode & 07777 & ~sourceBits) != 0 &&
        ::fchmod(out.get(), to.st_mode & sourceBits) != 0)
        return fail(TransformOutcome::CreateDestination, errno);
    if (S_ISREG(to.st_mode) && ::ftruncate(out.get(), 0) != 0)
        return fail(TransformOutcome::CreateDestination, errno);
    // A pipe's reader was there at the open; from now on writes wait for it.
    ::fcntl(out.get(), F_SETFL, ::fcntl(out.get(), F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<DescriptorStreams>(in.release(), out.release());
}

FileRead readRegularFile(int descriptor, std::size_t limit, const std::function<void()>& betweenBlocks)
{
    FileRead read;
    struct stat info { };
    if (::fstat(descriptor, &info) != 0) {
        read.status = FileRead::Failed;
        read.reason = std::strerror(errno);
        return read;
    }
    read.kind = kindOf(info.st_mode);
    if (read.kind != FileKind::Regular) {
        read.status = FileRead::NotRegular;
        return read;
    }
    if (std::uint64_t(info.st_size) > limit) {
        read.status = FileRead::TooLarge;
        return read;
    }
    // Blocks bound how long the window goes without painting; the size the
    // file had is reserved once, and a file that grows meanwhile is read on
    // only up to its bound.
    constexpr std::size_t kBlock = std::size_t(4) << 20;
    const std::size_t expected = std::size_t(info.st_size);
    std::string& bytes = read.bytes;
    bytes.reserve(expected);
    while (true) {
        std::size_t want = std::min(kBlock, limit + 1 - bytes.size());
        want = bytes.size() < expected ? std::min(want, expected - bytes.size()) : std::min<std::size_t>(want, 4096);
        const std::size_t before = bytes.size();
        bytes.resize(before + want);
        ssize_t n;
        do
            n = ::pread(descriptor, bytes.data() + before, want, off_t(before));
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            read = {FileRead::Failed, {}, read.kind, std::strerror(errno)};
            return read;
        }
        bytes.resize(before + std::size_t(n));
        if (bytes.size() > limit) {
            read = {FileRead::TooLarge, {}, read.kind, {}};
            return read;
        }
        if (n == 0)
            return read;
        if (betweenBlocks && std::size_t(n) == kBlock)
            betweenBlocks();
    }
}

FileRead readRegularFile(const std::string& path, std::size_t limit, const std::function<void()>& betweenBlocks)
{
    // Non-blocking: opening a pipe with no writer must not wait for one.
    const Descriptor file(openFile(path, O_RDONLY | O_NONBLOCK));
    if (file.get() < 0) {
        FileRead read;
        if (errno != ENOENT && errno != ENOTDIR) {
            read.status = FileRead::Failed;
            read.reason = std::strerror(errno);
        } else {
            read.status = FileRead::Missing;
        }
        return read;
    }
    return readRegularFile(file.get(), limit, betweenBlocks);
}

// Linux names file types by the MIME database, not by its shell.
std::optional<std::string> shellTypeName(const std::string&)
{
    return std::nullopt;
}

} // namespace corvatek::platform
