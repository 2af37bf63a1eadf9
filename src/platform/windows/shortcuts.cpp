// Desktop shortcuts on Windows: ".lnk" files read through the shell's link
// object. Only a target that is surely gone makes a shortcut broken; a
// target on a drive that may merely be away (a stick, a share, a disc) is
// left unjudged.
#include "platform/shortcuts.h"

#include "platform/windows/com.h"
#include "platform/windows/wide.h"

#include <algorithm>
#include <objbase.h>
#include <shlobj.h>

namespace corvatek::platform {
namespace {

using windows::Handle;
using windows::utf8;
using windows::wide;

template<typename Interface> class Com {
public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com()
    {
        if (pointer_)
            pointer_->Release();
    }
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

bool isShortcutName(std::wstring_view name)
{
    constexpr std::wstring_view extension = L".lnk";
    return name.size() > extension.size() &&
        ::CompareStringOrdinal(name.data() + name.size() - extension.size(), int(extension.size()), extension.data(),
            int(extension.size()), TRUE) == CSTR_EQUAL;
}

// Whether the absolute path surely names nothing: it lies on a fixed drive
// that is there and the file system says there is no such file.
bool surelyMissing(const std::wstring& target)
{
    const bool onDrive = target.size() >= 3 && target[1] == L':' && (target[2] == L'\\' || target[2] == L'/') &&
        ((target[0] >= L'A' && target[0] <= L'Z') || (target[0] >= L'a' && target[0] <= L'z'));
    if (!onDrive)
        return false; // a share or a device path
    const wchar_t root[] = {target[0], L':', L'\\', L'\0'};
    const UINT type = ::GetDriveTypeW(root);
    if (type != DRIVE_FIXED && type != DRIVE_RAMDISK)
        return false;
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Whether the link leads to a shell item that is no file: a program of the
// Start menu, a control panel, "This PC". Such a target can be had.
bool leadsToShellItem(IShellLinkW* link)
{
    PIDLIST_ABSOLUTE item = nullptr;
    const bool found = SUCCEEDED(link->GetIDList(&item)) && item && item->mkid.cb != 0;
    ::CoTaskMemFree(item);
    return found;
}

// The shell's own Resolve would search the disk for a moved target (and
// under wine "finds" a deleted one), so the stored path is checked instead.
bool isBroken(IShellLinkW* link, IPersistFile* file, const std::wstring& path)
{
    if (FAILED(file->Load(path.c_str(), STGM_READ)))
        return true; // no target can be had from it
    wchar_t target[MAX_PATH + 1] = {};
    const HRESULT got = link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY);
    target[MAX_PATH] = L'\0';
    if (FAILED(got) || target[0] == L'\0')
        return !leadsToShellItem(link);
    return surelyMissing(target);
}

} // namespace

FolderFiles brokenShortcuts(const std::string& folder)
{
    FolderFiles broken;
    if (folder.empty() || folder.find('\0') != std::string::npos)
        return broken;
    const std::wstring base = wide(folder) + (folder.back() == '\\' || folder.back() == '/' ? L"" : L"\\");
    // Held, unshared for deletion, so that the names found are this folder's.
    const Handle held(::CreateFileW(wide(folder).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!held || !::GetFileInformationByHandle(held.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return broken;
    broken.device = info.dwVolumeSerialNumber;
    broken.inode = std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;

    WIN32_FIND_DATAW entry {};
    HANDLE search =
        ::FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        broken.readable = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        return broken;
    }
    std::vector<std::wstring> shortcuts;
    constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if (!(entry.dwFileAttributes & kNotOrdinary) && entry.cFileName[0] != L'.' && isShortcutName(entry.cFileName))
            shortcuts.emplace_back(entry.cFileName);
    } while (::FindNextFileW(search, &entry));
    const bool listed = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    if (!listed)
        return broken;

    const windows::ComScope com;
    for (const auto& name : shortcuts) {
        // A fresh object for each: a failed load must not leave the last
        // shortcut's target behind.
        Com<IShellLinkW> link;
        Com<IPersistFile> file;
        if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out())) ||
            FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) {
            broken.names.clear(); // nothing can be judged: none is called broken
            return broken;
        }
        if (isBroken(link.get(), file.get(), base + name))
            broken.names.push_back(utf8(name));
    }
    broken.readable = true;
    std::sort(broken.names.begin(), broken.names.end());
    return broken;
}

} // namespace corvatek::platform
