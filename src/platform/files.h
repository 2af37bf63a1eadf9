// The files the suite shares with its companions: the in-use test, the lock
// and the whole-file replacement.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace corvatek::platform {

// Reading takes the shared lock on a file opened for reading, so a file the
// user made read-only can still be read; writing takes the exclusive lock
// on a file opened for reading and writing.
enum class LockMode { Read, Write };

// A file is in use when another process holds its exclusive lock or it
// cannot be opened for `mode`. An absent file is free.
bool fileInUse(const std::string& path, LockMode mode = LockMode::Read);

class InstanceClaim;

// An advisory lock held on an existing file for the lifetime of the object.
// Companions take the exclusive lock while they read or write a shared file,
// so holding it is what makes the file "in use" for them. A lock is only
// ever reported once it is known to be on the file the path names now: a
// file replaced while we waited is locked again under its new identity.
class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Tries once. An absent file yields a lock that holds nothing and counts
    // as acquired: there is nobody to coordinate with.
    static std::optional<FileLock> tryAcquire(const std::string& path, LockMode mode = LockMode::Write);

    struct Outcome;
    // Retries until the file is free or `timeout` has passed, calling
    // `betweenTries` while it waits (a window keeps itself painted there).
    // A file that cannot be opened at all ends the wait at once.
    static Outcome acquire(const std::string& path, LockMode mode, std::chrono::milliseconds timeout,
        const std::function<void()>& betweenTries = {});

    // The descriptor of the locked file, or -1 when the file did not exist.
    int descriptor() const { return fd_; }

private:
    friend InstanceClaim claimInstance(const std::string& name);
    explicit FileLock(int fd) : fd_(fd) { }
    int fd_ = -1;
};

struct FileLock::Outcome {
    std::optional<FileLock> lock;
    // Without a lock: empty when the file stayed in use past the wait, else
    // why it cannot be opened at all (a folder in its place, no permission,
    // a read-only file to write), which no wait would change.
    std::string unusable;
};

// Replaces the file at `path` with `bytes`: they are written beside it
// under a temporary name, flushed to the disk, renamed over the file, and the
// folder entry flushed after, so that however the program or the system ends
// the path holds the old content or the new, never a part or nothing. The
// old file's permissions are kept. Returns why it failed, or nothing; on
// failure the old file is untouched and no temporary file is left.
// The content may come piece by piece as it is written: `next` gives each
// piece in turn, then an empty one, so that a large file is never whole in
// memory.
using FilePieces = std::function<std::string_view()>;
std::optional<std::string> replaceFileContents(const std::string& path, const FilePieces& next);
// Content that is whole already, as pieces: itself, once.
inline FilePieces wholePiece(std::string_view bytes)
{
    return [bytes, given = false]() mutable { return std::exchange(given, true) ? std::string_view() : bytes; };
}
inline std::optional<std::string> replaceFileContents(const std::string& path, std::string_view bytes)
{
    return replaceFileContents(path, wholePiece(bytes));
}

// Removes from `folder` the temporary files of replacements that a killed
// program left unfinished; returns how many.
int removeUnfinishedReplacements(const std::string& folder);

} // namespace corvatek::platform
