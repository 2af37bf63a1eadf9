// The user's folders on Windows and the listing of and deletion from a
// folder that the cleanup and shortcut pages do. The folder is held open,
// shared with no one who would delete it, while it is read or deleted from:
// it cannot be renamed or replaced meanwhile, so its path names the folder
// that was checked.
#include "platform/userfolders.h"
#include "platform/system.h"

#include "platform/windows/wide.h"

#include <algorithm>
#include <cstring>

namespace corvatek::platform {
namespace {

using windows::Handle;
using windows::utf8;
using windows::wide;

// A special folder as the shell folder library tells it, looked up afresh
// each time as the suite's other programs do.
std::string specialFolder(int csidl)
{
    HMODULE library = ::LoadLibraryW(L"SHFolder.dll");
    if (!library)
        return {};
    using Lookup = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const FARPROC found = ::GetProcAddress(library, "SHGetFolderPathA");
    char path[261] = {};
    HRESULT result = E_FAIL;
    if (found) {
        Lookup lookup;
        static_assert(sizeof lookup == sizeof found);
        std::memcpy(&lookup, &found, sizeof lookup);
        result = lookup(nullptr, csidl, nullptr, 0, path);
    }
    ::FreeLibrary(library);
    path[260] = '\0';
    if (FAILED(result) || path[0] == '\0')
        return {};
    // The A function answers in the ANSI code page.
    const int size = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring text(std::size_t(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path, -1, text.data(), size);
    text.resize(text.find(L'\0'));
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/'))
        text.pop_back();
    return utf8(text);
}

std::string userName()
{
    wchar_t name[256];
    DWORD size = 256;
    return ::GetUserNameW(name, &size) && size > 0 ? utf8(std::wstring_view(name, size - 1)) : std::string();
}

std::wstring inFolder(const std::string& folder, std::wstring_view name)
{
    std::wstring path = wide(folder);
    if (path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    return path.append(name);
}

// Opens the folder at `path` (an empty handle when it cannot be) and puts
// which folder it is into `identity`.
Handle openFolder(const std::string& path, FolderFiles& identity)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return Handle();
    Handle folder(::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!folder || !::GetFileInformationByHandle(folder.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Handle();
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return folder;
}

} // namespace

std::string userFolder(UserFolder kind)
{
    switch (kind) {
    case UserFolder::Desktop: return specialFolder(0x0010); // CSIDL_DESKTOPDIRECTORY
    case UserFolder::Cookies: return specialFolder(0x0021); // CSIDL_COOKIES
    case UserFolder::Downloads: break;
    }
    // Where the suite has always looked: on the program's own drive.
    const std::string program = programFolder();
    const std::string user = userName();
    if (program.empty() || !((program[0] >= 'A' && program[0] <= 'Z') || (program[0] >= 'a' && program[0] <= 'z')) ||
        user.empty())
        return {};
    return program.substr(0, 1) + ":\\Users\\" + user + "\\Downloads";
}

FolderFiles ordinaryFiles(const std::string& folder)
{
    FolderFiles files;
    const Handle held = openFolder(folder, files);
    if (!held)
        return files;
    WIN32_FIND_DATAW entry {};
    HANDLE search = ::FindFirstFileExW(inFolder(folder, L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
        nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        // Only a drive's empty root has not even "." to show.
        files.readable = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        return files;
    }
    // Hidden and system files are the system's (index.dat, desktop.ini); a
    // link is no file of this folder.
    constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN |
        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    do {
        if (!(entry.dwFileAttributes & kNotOrdinary) && entry.cFileName[0] != L'.')
            files.names.push_back(utf8(entry.cFileName));
    } while (::FindNextFileW(search, &entry));
    files.readable = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    std::sort(files.names.begin(), files.names.end());
    return files;
}

FolderFiles folderIdentity(const std::string& folder)
{
    FolderFiles identity;
    identity.readable = bool(openFolder(folder, identity));
    return identity;
}

std::size_t deleteFromFolder(
    const std::string& folder, const FolderFiles& listed, const std::vector<std::string>& names)
{
    FolderFiles now;
    const Handle held = openFolder(folder, now);
    if (!listed.readable || !held || now.device != listed.device || now.inode != listed.inode)
        return 0;
    std::size_t deleted = 0;
    for (const auto& name : names) {
        // Only a bare name of this folder: no other folder, drive or stream,
        // and no trailing dot or blank, which the system drops to name
        // another file.
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of(std::string("\\/:\0", 4)) != std::string::npos || name.back() == '.' ||
            name.back() == ' ')
            continue;
        const std::wstring path = inFolder(folder, wide(name));
        // A link's own attributes: a link to a file is deleted itself, and a
        // folder, or a link that stands for one, stays.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (::DeleteFileW(path.c_str()))
            ++deleted;
    }
    return deleted;
}

} // namespace corvatek::platform
