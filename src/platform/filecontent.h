// What a file is and holds: its facts, its bytes read within a bound, and
// its content streamed into another file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvatek::platform {

enum class FileKind { Missing, Regular, Folder, Pipe, CharacterDevice, BlockDevice, Socket };

// What the rules detail page shows of a program file. Only a regular file is
// ever opened, so a pipe or a device costs nothing and never blocks.
struct FileFacts {
    FileKind kind = FileKind::Missing; // links followed
    std::int64_t modified = 0; // last write, seconds since 1970 UTC
    // The sum of up to 500 little-endian 32-bit words from the middle of the
    // file (never the last word), wrapping; nothing for a file that cannot be
    // read, changes size under the read, or has fewer than 12 bytes.
    std::optional<std::uint32_t> signature;
    bool executable = false; // a regular file someone may run
};
FileFacts fileFacts(const std::string& path);

// Reads a whole regular file without ever blocking on it: a pipe, a device,
// a socket or a folder is refused before a byte is read, and so is a file
// longer than `limit` bytes, so what lies outside the program costs bounded
// memory. `betweenBlocks` is called after each block of a long file.
struct FileRead {
    enum Status { Ok, Missing, NotRegular, TooLarge, Failed } status = Ok;
    std::string bytes;
    FileKind kind = FileKind::Missing; // what the path names, links followed
    std::string reason; // when Failed: the system's reason
};
FileRead readRegularFile(const std::string& path, std::size_t limit, const std::function<void()>& betweenBlocks = {});
// The same for a file the caller holds open (locked), read from its start.
FileRead readRegularFile(int descriptor, std::size_t limit, const std::function<void()>& betweenBlocks = {});

// Streams `source` into `destination` block by block, each block passed
// through `transform` (its bytes, their count, their offset in the file)
// before it is written. The source must be a regular file. The destination
// is created, or emptied when it exists, but only once it is known not to
// be the source itself under another name; it is never left readable by
// more users than the source is. A large file takes a while:
// `betweenBlocks` is called every 50 ms or so.
struct TransformOutcome {
    enum Status { Done, SameFile, NotARegularFile, Failed } status = Done;
    // When Failed: which step, and the system's reason.
    enum Step { OpenSource, CreateDestination, Read, Write, CloseDestination } step = OpenSource;
    std::string reason;
    std::uint64_t written = 0; // bytes in the destination, kept on a failure
};
TransformOutcome transformFile(const std::string& source, const std::string& destination,
    const std::function<void(unsigned char* bytes, std::size_t count, std::uint64_t offset)>& transform,
    const std::function<void()>& betweenBlocks = {});

// The system shell's name for the type of a file ("Text Document"), "" when
// the shell gives none (a missing file); nothing on a system whose shell has
// no such names, where callers name types by the MIME database.
std::optional<std::string> shellTypeName(const std::string& path);

} // namespace corvatek::platform
