// Reading program files for their facts, reading outside data whole within
// a bound, and the two files of a transform.
#include "platform/filecontent.h"

#include "platform/common/filesignature.h"
#include "platform/common/transformstreams.h"
#include "platform/windows/com.h"
#include "platform/windows/wide.h"

#include <algorithm>
#include <io.h>
#include <memory>
#include <objbase.h>
#include <shellapi.h>
#include <utility>

namespace corvatek::platform {
namespace {

using windows::errorText;
using windows::Handle;
using windows::wide;

// A path holding a NUL byte would name the file before it.
bool usablePath(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Links followed; a folder opens too, so that it can be told apart.
Handle openPath(const std::string& path, DWORD access)
{
    if (!usablePath(path)) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return Handle();
    }
    return Handle(::CreateFileW(
        wide(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

FileKind kindOf(HANDLE file, BY_HANDLE_FILE_INFORMATION* information = nullptr)
{
    BY_HANDLE_FILE_INFORMATION local {};
    BY_HANDLE_FILE_INFORMATION& info = information ? *information : local;
    switch (::GetFileType(file)) {
    case FILE_TYPE_DISK:
        if (!::GetFileInformationByHandle(file, &info))
            return FileKind::Missing;
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    case FILE_TYPE_PIPE: return FileKind::Pipe; // sockets too
    default: return FileKind::CharacterDevice;
    }
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
}

// Reads up to `count` bytes at `offset` without moving anything else.
bool readAt(HANDLE file, unsigned char* into, DWORD count, std::uint64_t offset, DWORD& got)
{
    OVERLAPPED at {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    got = 0;
    if (::ReadFile(file, into, count, &got, &at))
        return true;
    return ::GetLastError() == ERROR_HANDLE_EOF;
}

std::int64_t unixSeconds(const FILETIME& time)
{
    // FILETIME counts 100 ns steps since 1601.
    constexpr std::int64_t k1970 = 116444736000000000LL;
    const std::int64_t ticks = std::int64_t(std::uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) - k1970;
    return ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
}

// As the command prompt decides what it may run: by the file's extension.
bool runnableName(const std::string& path)
{
    const std::wstring name = wide(path.substr(path.find_last_of("\\/") + 1));
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos)
        return false;
    const std::wstring extension = name.substr(dot);
    std::wstring list(::GetEnvironmentVariableW(L"PATHEXT", nullptr, 0), L'\0');
    if (list.empty() || ::GetEnvironmentVariableW(L"PATHEXT", list.data(), DWORD(list.size())) == 0)
        list = L".COM;.EXE;.BAT;.CMD";
    for (std::size_t start = 0; start < list.size();) {
        auto end = list.find(L';', start);
        if (end == std::wstring::npos)
            end = list.size();
        const std::wstring_view entry = std::wstring_view(list).substr(start, end - start);
        if (!entry.empty() && entry.find(L'\0') == std::wstring_view::npos &&
            ::CompareStringOrdinal(extension.data(), int(extension.size()), entry.data(), int(entry.size()), TRUE) ==
                CSTR_EQUAL)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

FileFacts fileFacts(const std::string& path)
{
    FileFacts facts;
    // Attributes only: no device acts on it, and another's share mode is no bar.
    const Handle named = openPath(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info {};
    if (!named || (facts.kind = kindOf(named.get(), &info)) == FileKind::Missing)
        return facts;
    if (facts.kind != FileKind::Regular && facts.kind != FileKind::Folder)
        return facts;
    facts.modified = unixSeconds(info.ftLastWriteTime);
    if (facts.kind != FileKind::Regular)
        return facts;
    facts.executable = runnableName(path);
    const Handle file = openPath(path, GENERIC_READ);
    BY_HANDLE_FILE_INFORMATION opened {};
    if (!file || kindOf(file.get(), &opened) != FileKind::Regular)
        return facts;
    if (const auto window = signature::windowOf(sizeOf(opened))) {
        unsigned char words[2000];
        DWORD got = 0;
        if (readAt(file.get(), words, DWORD(window->bytes), window->offset, got) && got == window->bytes)
            facts.signature = signature::sumOfWords(words, window->bytes);
    }
    return facts;
}

namespace {

// The transform's two files as handles; both are closed when it goes.
class HandleStreams final : public backend::TransformStreams {
public:
    HandleStreams(Handle in, Handle out) : in_(std::move(in)), out_(std::move(out)) { }

    Moved read(unsigned char* into, std::size_t count) override
    {
        DWORD got = 0;
        if (!::ReadFile(in_.get(), into, DWORD(count), &got, nullptr))
            return failed(::GetLastError());
        return Moved::bytes(got);
    }

    Moved write(const unsigned char* from, std::size_t count) override
    {
        DWORD put = 0;
        if (!::WriteFile(out_.get(), from, DWORD(count), &put, nullptr))
            return failed(::GetLastError());
        if (put == 0)
            return failed(ERROR_DISK_FULL);
        return Moved::bytes(put);
    }

    std::optional<std::string> closeDestination() override
    {
        if (!::CloseHandle(out_.release()))
            return errorText(::GetLastError());
        return std::nullopt;
    }

private:
    static Moved failed(DWORD error) { return Moved::failure(errorText(error)); }

    Handle in_;
    Handle out_;
};

} // namespace

std::unique_ptr<backend::TransformStreams> backend::openTransform(
    const std::string& source, const std::string& destination, TransformOutcome& outcome)
{
    const auto fail = [&](TransformOutcome::Step step, DWORD error) {
        outcome.status = TransformOutcome::Failed;
        outcome.step = step;
        outcome.reason = errorText(error);
        return nullptr;
    };

    // Shared for writing, so that a destination naming the source opens
    // too and is recognised below rather than refused.
    Handle in = openPath(source, GENERIC_READ);
    if (!in)
        return fail(TransformOutcome::OpenSource, ::GetLastError());
    BY_HANDLE_FILE_INFORMATION from {};
    const FileKind kind = kindOf(in.get(), &from);
    if (kind == FileKind::Missing)
        return fail(TransformOutcome::OpenSource, ::GetLastError());
    if (kind != FileKind::Regular) {
        outcome.status = TransformOutcome::NotARegularFile;
        return nullptr;
    }

    // Not truncated on opening: the destination may be the source itself.
    // A new file takes the folder's inherited permissions, as any file the
    // user saves there would; the source's own are not copied.
    if (!usablePath(destination))
        return fail(TransformOutcome::CreateDestination, ERROR_INVALID_NAME);
    Handle out(::CreateFileW(wide(destination).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return fail(TransformOutcome::CreateDestination, ::GetLastError());
    if (::GetFileType(out.get()) == FILE_TYPE_DISK) {
        BY_HANDLE_FILE_INFORMATION to {};
        if (!::GetFileInformationByHandle(out.get(), &to))
            return fail(TransformOutcome::CreateDestination, ::GetLastError());
        if (to.dwVolumeSerialNumber == from.dwVolumeSerialNumber && to.nFileIndexHigh == from.nFileIndexHigh &&
            to.nFileIndexLow == from.nFileIndexLow) {
            outcome.status = TransformOutcome::SameFile;
            return nullptr;
        }
        if (!::SetEndOfFile(out.get()))
            return fail(TransformOutcome::CreateDestination, ::GetLastError());
    }
    return std::make_unique<HandleStreams>(std::move(in), std::move(out));
}

namespace {

FileRead readOpenFile(HANDLE file, std::size_t limit, const std::function<void()>& betweenBlocks)
{
    FileRead read;
    BY_HANDLE_FILE_INFORMATION info {};
    if (file == INVALID_HANDLE_VALUE || (read.kind = kindOf(file, &info)) == FileKind::Missing) {
        read.status = FileRead::Failed;
        read.reason = errorText(file == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : ::GetLastError());
        return read;
    }
    if (read.kind != FileKind::Regular) {
        read.status = FileRead::NotRegular;
        return read;
    }
    const std::uint64_t size = sizeOf(info);
    if (size > limit) {
        read.status = FileRead::TooLarge;
        return read;
    }
    // Blocks bound how long the window goes without painting; the size the
    // file had is reserved once, and a file that grows meanwhile is read on
    // only up to its bound.
    constexpr std::size_t kBlock = std::size_t(4) << 20;
    const std::size_t expected = std::size_t(size);
    std::string& bytes = read.bytes;
    bytes.reserve(expected);
    while (true) {
        std::size_t want = std::min(kBlock, limit + 1 - bytes.size());
        want = bytes.size() < expected ? std::min(want, expected - bytes.size()) : std::min<std::size_t>(want, 4096);
        const std::size_t before = bytes.size();
        bytes.resize(before + want);
        DWORD got = 0;
        if (!readAt(file, reinterpret_cast<unsigned char*>(bytes.data() + before), DWORD(want), before, got)) {
            read = {FileRead::Failed, {}, read.kind, errorText(::GetLastError())};
            return read;
        }
        bytes.resize(before + got);
        if (bytes.size() > limit) {
            read = {FileRead::TooLarge, {}, read.kind, {}};
            return read;
        }
        if (got == 0)
            return read;
        if (betweenBlocks && got == kBlock)
            betweenBlocks();
    }
}

} // namespace

FileRead readRegularFile(int descriptor, std::size_t limit, const std::function<void()>& betweenBlocks)
{
    return readOpenFile(reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)), limit, betweenBlocks);
}

FileRead readRegularFile(const std::string& path, std::size_t limit, const std::function<void()>& betweenBlocks)
{
    const Handle file = openPath(path, GENERIC_READ);
    if (!file) {
        FileRead read;
        const DWORD error = ::GetLastError();
        if (missing(error)) {
            read.status = FileRead::Missing;
        } else {
            read.status = FileRead::Failed;
            read.reason = errorText(error);
        }
        return read;
    }
    return readOpenFile(file.get(), limit, betweenBlocks);
}

std::optional<std::string> shellTypeName(const std::string& path)
{
    if (!usablePath(path))
        return std::string();
    const windows::ComScope com;
    SHFILEINFOW info {};
    if (!::SHGetFileInfoW(wide(path).c_str(), 0, &info, sizeof info, SHGFI_TYPENAME))
        return std::string();
    return windows::utf8(info.szTypeName);
}

} // namespace corvatek::platform
