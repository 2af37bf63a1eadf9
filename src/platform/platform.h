// The operating-system services the control centre needs, in plain C++ so
// that each operating system has one backend beside the others and the rest
// of the program never touches the system directly. Text is UTF-8.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvatek::platform {

// ---- Processes --------------------------------------------------------

struct ProcessEntry {
    std::string name; // executable file name, as ps and pgrep show it
    int id = 0;
};

// Every process in the system's list order. A zombie (ended, not yet reaped
// by its parent) may be listed; isRunning never counts one.
std::vector<ProcessEntry> processList();

// ASCII-case-insensitive name comparison used for executable names.
bool sameExecutableName(std::string_view a, std::string_view b);

// True while some live process has this executable name. Reads the system's
// list afresh at every call.
bool isRunning(std::string_view executableName);

// Terminates every process of that name that belongs to this user, never
// the first process of the system nor the calling process itself. True when
// one was terminated.
bool terminateByName(std::string_view executableName);

// The same for several names with one look at the process list; the names
// are dealt with in the order given. True when one was terminated.
bool terminateByNames(const std::vector<std::string>& executableNames);

// Splits a parameter text into arguments as a Windows program splits its
// command line: blanks separate, double quotes group, backslashes escape a
// double quote. Keeps companions' arguments identical on every system.
std::vector<std::string> splitCommandLine(std::string_view text);

// Starts a program detached: no shell, no inherited descriptors, standard
// streams on the null device, a session of its own, never left as a zombie.
// Returns whether the program could be started; never waits for it.
bool startDetached(const std::string& programPath, const std::vector<std::string>& arguments);

// The companions' two ways of being started. A shell start hands the
// parameters over as one text, as the system shell takes them (on Windows
// its "open" verb, hidden); a console start takes a whole command line whose
// program is looked for in `folder` (the program folder), then on the search
// path (on Windows a new, hidden console). Neither waits for the program.
bool shellStart(const std::string& programPath, const std::string& parameters);
bool consoleStart(const std::string& commandLine, const std::string& folder);

// Finds an executable by bare name: first in `folder`, then on the search
// path. Returns the name unchanged when nothing is found.
std::string resolveExecutable(const std::string& name, const std::string& folder);

// The system's network statistics tool, stopped with the companions when the
// control centre ends.
std::string networkStatisticsToolName();

// ---- Files ------------------------------------------------------------

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

// ---- This user's session ----------------------------------------------

// What a start finds when it claims the one instance of `name` that may run
// for this user. The lock and the socket sit in a folder only the user can
// change: the runtime folder, or <temporary folder>/corvatek-<uid>.
class InstanceClaim {
public:
    enum class Result {
        Claimed, // this process is the one instance while the claim lives
        HeldElsewhere, // another process of this user is
        Unavailable, // no private place for the lock: `problem` says why
    };

    Result result = Result::Unavailable;
    std::string socketPath; // the instance's message socket, unless Unavailable
    std::string problem; // e.g. "/tmp/corvatek-1000 belongs to another user"

private:
    friend InstanceClaim claimInstance(const std::string& name);
    // What makes the claim (a lock, a mutex), held while it lives; the end of
    // the process releases it too.
    std::shared_ptr<void> held_;
};

// On Windows the claim is the named mutex `name`, and there is no socket.
InstanceClaim claimInstance(const std::string& name);

// Tells the instance that `claim` found running that the user started the
// program again, so that it can come forward; true when it was told.
bool announceSecondStart(const InstanceClaim& claim);

// What a window message tells the one instance. On Windows a later start,
// a companion and the system reach the window thread this way; on Linux
// through the socket and the mount table, and no window message is one.
struct WindowMessage {
    enum Kind {
        Other,
        SecondStart, // a later start of the program
        RegistryChange, // the message 2997 with its two parameters
        VolumeAttached, // the system's arrival of a volume: `volume` holds its root
    } kind = Other;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::string volume;
};
// `native` is what the window system hands over (on Windows a MSG); only a
// message to `window`, the main window's handle, counts.
WindowMessage readWindowMessage(const void* native, std::uintptr_t window);

// The notification-area icon where the system's tray is a service that
// calls its programs back by window message (Windows): one icon, added when
// made and gone with the object. Only a right-button press and a left double
// click are reported. Elsewhere addTrayIcon gives null: the toolkit's tray
// serves there.
enum class TrayEvent { RightButtonDown, LeftDoubleClick };
struct TrayImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, not premultiplied, rows top down
};
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // The hidden window the tray calls back; it never shows.
    virtual std::uintptr_t window() const = 0;
    // Whether the tray took the icon (at log-on it may come later).
    virtual bool added() const = 0;
    // Lets a menu popped up from the icon close when the user clicks elsewhere.
    virtual void takeForeground() = 0;
};
// `image` draws the icon at the size the tray asks for; `onEvent` runs on the
// window thread.
std::unique_ptr<TrayIcon> addTrayIcon(
    const std::function<TrayImage(int pixels)>& image, const std::string& tip, std::function<void(TrayEvent)> onEvent);

// The instance's message channel, a local stream socket. The one instance
// listens and reads each connection without ever waiting on it; later starts
// and companions connect, send one line and close.
// listenLocal returns a non-blocking listening descriptor (-1 on failure),
// replacing a stale socket at `path`. acceptLocal takes one pending
// connection as a non-blocking descriptor, -1 when none is waiting.
// readLocal returns what has arrived, at most `limit` bytes, and whether the
// peer has ended the connection. closeLocal closes either kind.
int listenLocal(const std::string& path);
int acceptLocal(int listener);
struct LocalRead {
    std::string bytes;
    bool ended = false;
};
LocalRead readLocal(int connection, std::size_t limit);
void closeLocal(int descriptor);
// Connects, writes the line and LF, closes; gives up after a second when the
// listener does not take the connection.
bool sendLocalMessage(const std::string& path, const std::string& line);

// Turns the requests to end the program that the system or the user send
// (on Linux SIGTERM, SIGHUP, SIGINT) into a byte on the returned descriptor,
// so that the window thread can end in order. -1 when it cannot.
int terminationRequests();
// Takes the pending requests off that descriptor once they are handled.
void clearTerminationRequests();

// The language the user reads messages in, as the system names it: the
// first of LC_ALL, LC_MESSAGES and LANG that is set ("de_DE.UTF-8"), else on
// Windows the user's first display language ("de-DE"); empty when none is.
std::string userLanguage();

// The command of the user's autostart entry `name`; empty when there is none.
std::string autostartCommand(const std::string& name);
// Makes the user's autostart entry `name` run `command` (a program path) at
// log-on. Other settings of an existing entry are kept.
bool setAutostartCommand(const std::string& name, const std::string& command);

// ---- The user's folders and files ------------------------------------

enum class UserFolder {
    Desktop, // the user's desktop folder
    Downloads, // where the user's downloads go
    Cookies, // the web browser's cookie files; Linux has no such folder
};

// The folder's path, without a trailing separator; empty when the system
// has no such folder. It may not exist.
std::string userFolder(UserFolder kind);

// The files of a folder a page lists and may delete from, and which folder
// they were read from.
struct FolderFiles {
    bool readable = false;
    std::uint64_t device = 0; // with `inode`, the folder that was read
    std::uint64_t inode = 0;
    std::vector<std::string> names; // bare names, in byte order
};

// The ordinary files of `folder`: regular files whose names do not start
// with "." (hidden), never a symbolic link, never a folder.
FolderFiles ordinaryFiles(const std::string& folder);

// Deletes each named entry from the folder `listed` was read from: a name
// with a separator is refused, a symbolic link is removed itself, never what
// it points at, a folder is never removed, and nothing is deleted when
// `folder` now names another folder. Entries that are gone are skipped.
// Returns how many were deleted.
std::size_t deleteFromFolder(
    const std::string& folder, const FolderFiles& listed, const std::vector<std::string>& names);

// The shortcuts of `folder` whose target surely cannot be obtained, in byte
// order. On Linux a shortcut is a symbolic link or a ".desktop" file; broken
// is a link to nothing, an application entry whose program is neither an
// existing path nor found on the session's search path, or a link entry to a
// missing local file. Only "no such file" is missing: a folder that cannot be
// read, an I/O error, or a volume not mounted now (below /media, /run/media,
// /mnt or a mount point of /etc/fstab) leaves a shortcut unjudged.
FolderFiles brokenShortcuts(const std::string& folder);

// Deletes the user's own autostart entries whose program is surely missing,
// judged as for shortcuts: the command's program, after dropping a trailing
// "/autoRun" argument, is neither an existing path nor found on the session's
// search path. An empty command, a hidden or unreadable entry and the entry
// `keepName` are never deleted. An entry that hides a system-wide entry of
// its name is replaced by a hidden one instead, so the system's stays off.
// Returns the names of the entries deleted or hidden.
std::vector<std::string> removeDeadAutostartEntries(const std::string& keepName);

// The user's trash folders: on Linux the home trash first, then the user's
// trash folders on mounted local volumes.
std::vector<std::string> trashFolders();

// Empties these trash folders: each trashed item is deleted with its
// information entry; an item that cannot be deleted keeps its entry.
// Deletion never follows a link nor enters a mount (a volume or a bind mount
// inside a trashed folder): the mount point and the folders that hold it stay,
// and the item keeps its entry. A large trash takes a while: `betweenItems`
// is called every 50 ms or so.
struct TrashOutcome {
    std::size_t deleted = 0;
    std::size_t kept = 0;
};
TrashOutcome emptyTrash(const std::vector<std::string>& folders, const std::function<void()>& betweenItems = {});

// The system shell's name for the type of a file ("Text Document"), "" when
// the shell gives none (a missing file); nothing on a system whose shell has
// no such names, where callers name types by the MIME database.
std::optional<std::string> shellTypeName(const std::string& path);

// ---- Memory -----------------------------------------------------------

struct MemoryStatus {
    std::uint64_t totalBytes = 0; // physical memory
    std::uint64_t availableBytes = 0; // physical memory free for new work
};
std::optional<MemoryStatus> memoryStatus();

struct ProcessMemory {
    std::string name; // as processList names it
    int id = 0;
    std::uint64_t residentBytes = 0; // the working set
};

// Every live process whose memory can be read, in the system's list order;
// on Linux no kernel thread (they run no program).
std::vector<ProcessMemory> processMemoryList();

// The resident memory of this process, or nothing when it cannot be read.
std::optional<std::uint64_t> ownResidentBytes();

// ---- Volumes ----------------------------------------------------------

// A mounted volume a user can scan: on Linux its mount point, on Windows a
// drive root.
struct Volume {
    std::string root; // e.g. "/media/ann/USB STICK"
    unsigned long long device = 0; // the mounted device's number, while it stays mounted
};

// How the user and the scanner name a volume: on Windows its drive letter
// ("E"), on Linux its root.
std::string volumeName(const Volume& volume);

// The volumes a user would scan, the system's root first, each device once:
// local block-device file systems, never /proc, /sys, tmpfs, overlays and the
// like, nor a bind mount of part of a volume.
std::vector<Volume> scannableVolumes();

// The mounted volume that holds `path`, or nothing when it cannot be told.
std::optional<Volume> volumeOf(const std::string& path);

// True while `volume` is still mounted at its root and its file system
// answers (the volume information can be read).
bool volumeReadable(const Volume& volume);

// Lists the volume's root folder directly, no shell involved; true when it
// is still that volume and the listing succeeded.
bool listVolumeRoot(const Volume& volume);

// Reports volumes being attached: a newly mounted local block-device volume
// (a USB stick, a memory card). A network file system, a second or bind
// mount of something already mounted, a remount or a disc put into an
// optical drive is no arrival.
class VolumeArrivals {
public:
    VolumeArrivals(); // what is mounted now is known, not arrived
    ~VolumeArrivals();
    VolumeArrivals(const VolumeArrivals&) = delete;
    VolumeArrivals& operator=(const VolumeArrivals&) = delete;

    // Signals an exceptional condition (poll's POLLPRI) when the mount table
    // changes; -1 when it cannot be watched.
    int descriptor() const;
    // Reads the mount table again and returns the volumes that arrived since
    // the last look, in mount order.
    std::vector<Volume> takeArrivals();

private:
    struct State;
    State* state_;
};

// Quotes one argument so that splitCommandLine gives it back unchanged;
// text without blanks, tabs or double quotes is returned as it is.
std::string quoteArgument(std::string_view argument);

// ---- This program and this machine -----------------------------------

// Folder of the running executable, ending with a path separator.
std::string programFolder();

// Where the suite keeps the files it reads and writes. A copy the user can
// write to (a build folder, a portable copy on a stick) keeps them beside its
// executable. An installed copy (on Linux, one under /usr or /opt, whoever
// runs it) or a folder the user cannot write keeps them in the user's own
// data folder: $XDG_DATA_HOME/corvatek/ on Linux, %LOCALAPPDATA%\Corvatek
// on Windows, made (mode 0700) when missing. kDataFolderVariable, when it
// holds an absolute path, names the folder outright: the control centre hands
// its folder to the companions it starts through it.
inline constexpr char kDataFolderVariable[] = "CORVATEK_DATA_DIR";
struct DataFolder {
    std::string path; // ends with a path separator
    std::string problem; // why the folder could not be made, if it could not
};
DataFolder dataFolder();
// The user's own folder for the suite, as above, whatever copy runs; not made
// here.
std::string userDataFolder();
// Makes the folder and its missing levels, closed to other users; a level
// made by root in a user's folder belongs to the owner of the level above.
// Empty, or why it could not be made.
std::string makeUserFolder(const std::string& folder);

// The machine's host name, or nothing when the system will not tell.
std::optional<std::string> hostName();

// The machine's IPv4 address on its network, as four decimal bytes joined by
// ".": that of the interface the default route leaves by, else of the first
// interface that is up, loopback aside; "127.0.0.1" when no such interface
// has one. Nothing when the interfaces cannot be read.
std::optional<std::string> machineAddress();

} // namespace corvatek::platform
