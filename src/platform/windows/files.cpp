// The in-use test and the shared-file lock on Windows. The lock is the share
// mode the file is opened with: a reader lets others read but nobody write;
// a writer writes, so every other lock, and the companions' in-use test ("can
// it be opened with no sharing at all"), meets a sharing violation.
#include "platform/files.h"
#include "platform/common/filelock.h"
#include "platform/windows/wide.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <thread>

namespace corvatek::platform {
namespace {

using windows::errorText;
using windows::wide;

// What marks a replacement's temporary file, so that a killed one is known.
constexpr char kUnfinished[] = ".corvatek-new-";
// Ends the name the old file is moved to while the new one takes its place.
constexpr wchar_t kOldSuffix[] = L"-old";

// A path holding a NUL byte would name the file before it.
bool usablePath(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

} // namespace

Attempt tryLock(const std::string& path, LockMode mode, int& fd, std::string* reason)
{
    fd = -1;
    if (!usablePath(path))
        return Attempt::Absent;
    const std::wstring name = wide(path);
    // Shared for reading and deletion even by a writer: that is how the
    // holder's own replacement (ReplaceFileW) opens the file it replaces.
    // Whoever opens it refusing to share writing is still kept out.
    const DWORD access = mode == LockMode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    HANDLE file = ::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return Attempt::Absent;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return Attempt::Busy;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER: break;
        default:
            // Anything else may pass (no handles left, a drive not ready).
            if (reason)
                *reason = errorText(error);
            return Attempt::Busy;
        }
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        // A file being deleted refuses even a look at it until its last
        // handle closes: then it is gone, or replaced.
        if (error == ERROR_ACCESS_DENIED && attributes == INVALID_FILE_ATTRIBUTES &&
            ::GetLastError() == ERROR_ACCESS_DENIED)
            return Attempt::Busy;
        // Said in the words the Linux build uses, so that the user reads the
        // same message on either.
        if (reason) {
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                *reason = std::strerror(EISDIR);
            else
                *reason = error == ERROR_ACCESS_DENIED ? std::strerror(EACCES) : errorText(error);
        }
        return Attempt::Unusable;
    }
    // A device or a pipe opens too, but is no file to share.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        if (reason)
            *reason = "Not a regular file";
        return Attempt::Unusable;
    }
    // No one can rename or replace the file before we took it: the open
    // itself is the lock, so it is on the file the path names now.
    fd =
        ::_open_osfhandle(reinterpret_cast<intptr_t>(file), (mode == LockMode::Read ? _O_RDONLY : _O_RDWR) | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        return Attempt::Busy; // no descriptors left for now
    }
    return Attempt::Locked;
}

void closeLocked(int fd)
{
    ::_close(fd); // closing the descriptor releases the lock
}

namespace {

bool writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD put = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(file, bytes.data(), chunk, &put, nullptr))
            return false;
        if (put == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes.remove_prefix(put);
    }
    return true;
}

// Wine's ReplaceFileW refuses a relative path.
std::wstring fullPath(const std::wstring& path)
{
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = full.empty() ? 0 : ::GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    full.resize(length);
    return full;
}

bool exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Puts the old file back where a failed replacement left it under `old`,
// then drops the new one; never deletes the only copy.
void undo(const std::wstring& target, const std::wstring& temporary, const std::wstring& old)
{
    if (!exists(target) && exists(old))
        ::MoveFileExW(old.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    ::DeleteFileW(temporary.c_str());
    if (exists(target))
        ::DeleteFileW(old.c_str());
}

} // namespace

// ReplaceFileW, not MoveFileExW: it keeps the old file's ACL and attributes,
// and it succeeds while our own lock holds the old file, where a rename over
// it is refused. The lock asks nothing more of it: it shares the file with
// the reading and deletion ReplaceFileW opens it for. The old file steps
// aside under a name of its own, so a failure half-way can be undone.
std::optional<std::string> replaceFileContents(const std::string& path, const FilePieces& next)
{
    if (!usablePath(path))
        return errorText(ERROR_INVALID_NAME);
    static std::atomic<unsigned> counter {0};
    const std::wstring target = fullPath(wide(path));
    const std::wstring temporary = target +
        wide(kUnfinished + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter.fetch_add(1)));
    const std::wstring old = temporary + kOldSuffix;

    WIN32_FILE_ATTRIBUTE_DATA before {};
    const bool hadOld = ::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &before) != 0;
    // A file the user made read-only is not written, as the write lock says.
    if (hadOld && (before.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return errorText(ERROR_ACCESS_DENIED);

    HANDLE file =
        ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return errorText(::GetLastError());
    // The data reaches the disk before the name does.
    bool written = true;
    for (std::string_view piece = next(); written && !piece.empty(); piece = next())
        written = writeAll(file, piece);
    written = written && ::FlushFileBuffers(file);
    DWORD error = written ? 0 : ::GetLastError();
    if (!::CloseHandle(file) && written)
        written = false, error = ::GetLastError();
    if (!written) {
        ::DeleteFileW(temporary.c_str());
        return errorText(error);
    }
    // Wine's ReplaceFileW carries no attributes over: a hidden file stays hidden.
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (hadOld && (before.dwFileAttributes & kept))
        ::SetFileAttributesW(temporary.c_str(), before.dwFileAttributes & kept);

    bool replaced = hadOld && ::ReplaceFileW(target.c_str(), temporary.c_str(), old.c_str(), 0, nullptr, nullptr);
    error = replaced ? 0 : ::GetLastError();
    // No old file (or it went meanwhile): a plain rename puts the new one there.
    if (!replaced && (!hadOld || (error == ERROR_FILE_NOT_FOUND && !exists(target) && !exists(old)))) {
        replaced = ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        error = replaced ? 0 : ::GetLastError();
    }
    if (!replaced) {
        undo(target, temporary, old);
        return errorText(error);
    }
    // The old file goes now, or when the last handle on it (a lock) closes.
    ::DeleteFileW(old.c_str());
    return std::nullopt;
}

int removeUnfinishedReplacements(const std::string& folder)
{
    if (!usablePath(folder))
        return 0;
    std::wstring base = wide(folder);
    if (base.back() != L'\\' && base.back() != L'/')
        base += L'\\';
    WIN32_FIND_DATAW entry {};
    HANDLE search =
        ::FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    const std::wstring marker = wide(kUnfinished);
    std::vector<std::wstring> found;
    do {
        if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            std::wstring_view(entry.cFileName).find(marker) != std::wstring_view::npos)
            found.emplace_back(entry.cFileName);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);

    int removed = 0;
    for (const auto& name : found) {
        const std::wstring path = base + name;
        const std::wstring_view view(name);
        // A replacement killed after the old file stepped aside and before
        // the new one took its place: the old one goes back.
        if (view.ends_with(kOldSuffix)) {
            const std::wstring original = base + name.substr(0, name.find(marker));
            if (!exists(original) && ::MoveFileExW(path.c_str(), original.c_str(), MOVEFILE_WRITE_THROUGH))
                continue;
        }
        if (::DeleteFileW(path.c_str()))
            ++removed;
    }
    return removed;
}

} // namespace corvatek::platform
