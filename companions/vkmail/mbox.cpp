#include "mbox.h"

#include "headers.h"
#include "positions.h"
#include "scanning/engine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace corvatek::vkmail {
namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::string_view kSeparator = "\nFrom ";
// How much of a message's first line and of its last bytes a check covers.
constexpr std::size_t kFirstLine = 1024;
constexpr std::size_t kTail = 64;

} // namespace

bool writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

int memoryCopy(int fd, std::uint64_t offset, std::uint64_t size)
{
    const int copy = ::memfd_create("vkmail-message", MFD_CLOEXEC);
    std::vector<char> buffer(std::size_t(std::min<std::uint64_t>(size, 1 << 20)));
    for (std::uint64_t done = 0; copy >= 0 && done < size;) {
        const ssize_t n = ::pread(
            fd, buffer.data(), std::size_t(std::min<std::uint64_t>(buffer.size(), size - done)), off_t(offset + done));
        if (n <= 0 || !writeAll(copy, buffer.data(), std::size_t(n))) {
            ::close(copy);
            return -1;
        }
        done += std::uint64_t(n);
    }
    if (copy >= 0)
        ::lseek(copy, 0, SEEK_SET);
    return copy;
}

namespace {

bool readAt(int fd, std::string& bytes, std::uint64_t offset, std::size_t size)
{
    bytes.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size - got, off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    bytes.resize(got);
    return true;
}

std::uint64_t checkOf(std::string_view firstLine, std::string_view tail)
{
    return hashOf(tail, hashOf(firstLine.substr(0, firstLine.find('\n'))));
}

} // namespace

MboxReader::MboxReader(int fd, std::uint64_t from, std::uint64_t to)
    : fd_(fd), at_(from), to_(to), readTo_(from), buffer_(kBlock + kSeparator.size())
{
}

// Keeps what was not taken and reads on behind it.
bool MboxReader::fill()
{
    if (used_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + used_, available());
        length_ -= used_;
        used_ = 0;
    }
    while (length_ < buffer_.size() && readTo_ < to_) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(buffer_.size() - length_, to_ - readTo_));
        const ssize_t n = ::pread(fd_, buffer_.data() + length_, want, off_t(readTo_));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_ = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            to_ = readTo_; // the file shrank meanwhile
            break;
        }
        length_ += std::size_t(n);
        readTo_ += std::uint64_t(n);
    }
    return true;
}

std::optional<MboxMessage> MboxReader::next(int sink)
{
    if (at_ >= to_ || !error_.empty())
        return std::nullopt;
    MboxMessage message;
    message.start = at_;
    const off_t sinkStart = ::lseek(sink, 0, SEEK_CUR);
    std::string tail;
    std::uint64_t size = 0;
    bool failed = sinkStart < 0;
    const auto take = [&](std::size_t count) {
        const char* bytes = buffer_.data() + used_;
        if (message.head.size() < kHeadKept)
            message.head.append(bytes, std::min(count, kHeadKept - message.head.size()));
        tail.append(bytes + count - std::min(count, kTail), std::min(count, kTail));
        if (tail.size() > kTail)
            tail.erase(0, tail.size() - kTail);
        size += count;
        if (size > scanning::kMaxFileSize && !message.tooLarge) {
            // Nothing of it is left for the engine.
            message.tooLarge = true;
            failed = failed || ::ftruncate(sink, sinkStart) != 0 || ::lseek(sink, sinkStart, SEEK_SET) < 0;
        }
        failed = failed || (!message.tooLarge && !writeAll(sink, bytes, count));
        used_ += count;
        at_ += count;
    };
    for (bool first = true;; first = false) {
        if (available() < kSeparator.size() && !fill())
            break;
        if (available() == 0) {
            message.last = true;
            break;
        }
        const std::string_view data(buffer_.data() + used_, available());
        // What comes before the first "From " line is a message too.
        if (first && !data.starts_with(kSeparator.substr(1)))
            failed = failed || !writeAll(sink, kBatchSeparator.data(), kBatchSeparator.size());
        const std::size_t found = data.find(kSeparator);
        if (found != std::string_view::npos) {
            // The line end is the message's; the next starts with "From ".
            take(found + 1);
            break;
        }
        // A separator may be cut at the end of what was read.
        const bool more = at_ + data.size() < to_;
        take(more ? data.size() - std::min(data.size(), kSeparator.size() - 1) : data.size());
        if (!more) {
            message.last = true;
            break;
        }
    }
    // A blank line before the next message's "From " line.
    if (!message.tooLarge) {
        const std::string_view end = !tail.ends_with('\n') ? "\n\n" : !tail.ends_with("\n\n") ? "\n" : "";
        failed = failed || !writeAll(sink, end.data(), end.size());
    }
    if (failed && error_.empty())
        error_ = std::strerror(errno);
    if (!error_.empty())
        return std::nullopt;
    message.end = at_;
    message.check = checkOf(std::string_view(message.head).substr(0, kFirstLine), tail);
    message.written = std::uint64_t(::lseek(sink, 0, SEEK_CUR) - sinkStart);
    return message;
}

std::optional<std::uint64_t> checkAt(int fd, std::uint64_t lastStart, std::uint64_t offset)
{
    std::string firstLine, tail;
    const std::uint64_t tailStart = std::max(lastStart, offset >= kTail ? offset - kTail : 0);
    if (offset < lastStart ||
        !readAt(fd, firstLine, lastStart, std::size_t(std::min<std::uint64_t>(kFirstLine, offset - lastStart))) ||
        !readAt(fd, tail, tailStart, std::size_t(offset - tailStart)))
        return std::nullopt;
    return checkOf(firstLine, tail);
}

bool appendAsMboxMessage(int sink, int fd)
{
    std::vector<char> buffer(256 * 1024);
    std::string edge; // the last bytes read, for what spans two reads
    bool fine = true;
    for (std::uint64_t at = 0; fine;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), off_t(at));
        if (n <= 0) {
            fine = n == 0;
            break;
        }
        const std::string_view read(buffer.data(), std::size_t(n));
        if (at == 0 && !read.starts_with("From "))
            fine = writeAll(sink, kBatchSeparator.data(), kBatchSeparator.size());
        const std::string joined = edge + std::string(read.substr(0, std::min<std::size_t>(read.size(), 5)));
        fine = fine && joined.find("\nFrom ") == std::string::npos && read.find("\nFrom ") == std::string_view::npos &&
            writeAll(sink, read.data(), read.size());
        edge = (edge + std::string(read.substr(read.size() - std::min<std::size_t>(read.size(), 5))));
        edge.erase(0, edge.size() - std::min<std::size_t>(edge.size(), 5));
        at += std::uint64_t(n);
    }
    const std::string_view end = !edge.ends_with('\n') ? "\n\n" : !edge.ends_with("\n\n") ? "\n" : "";
    fine = fine && writeAll(sink, end.data(), end.size());
    return fine;
}

} // namespace corvatek::vkmail
