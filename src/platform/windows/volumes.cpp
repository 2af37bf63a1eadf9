// Volumes on Windows are drive roots. A volume is known by its serial
// number, which a different medium in the same drive does not share.
#include "platform/volumes.h"

#include "platform/windows/com.h"
#include "platform/windows/wide.h"

#include <objbase.h>
#include <shellapi.h>

namespace corvatek::platform {
namespace {

using windows::utf8;
using windows::wide;

// A drive without a medium must fail at once, not ask the user to insert one.
class QuietErrors {
public:
    QuietErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
    ~QuietErrors() { ::SetThreadErrorMode(previous_, nullptr); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    DWORD previous_ = 0;
};

std::optional<DWORD> serialOf(const std::wstring& root)
{
    const QuietErrors quiet;
    DWORD serial = 0;
    if (root.empty() || !::GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return std::nullopt;
    return serial;
}

// A drive letter made with "subst" shows a folder of another volume.
bool substitute(wchar_t letter)
{
    const wchar_t device[] = {letter, L':', L'\0'};
    wchar_t target[1024] = {};
    return ::QueryDosDeviceW(device, target, 1024) != 0 && std::wstring_view(target).starts_with(L"\\??\\");
}

// The drive letter of a root "X:\", or nothing for another kind of root.
std::optional<wchar_t> driveLetter(const std::string& root)
{
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\')
        return std::nullopt;
    const char letter = char(root[0] & ~0x20);
    if (letter < 'A' || letter > 'Z')
        return std::nullopt;
    return wchar_t(letter);
}

} // namespace

// Fixed and removable drives: a network drive may not answer, a disc cannot
// change, and a RAM disk goes with the machine.
std::vector<Volume> scannableVolumes()
{
    std::vector<Volume> volumes;
    wchar_t windowsFolder[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(windowsFolder, MAX_PATH + 1);
    const wchar_t systemLetter = length > 0 && length <= MAX_PATH ? wchar_t(windowsFolder[0] & ~0x20) : L'C';
    const DWORD drives = ::GetLogicalDrives();
    std::wstring order(1, systemLetter);
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        if (letter != systemLetter)
            order += letter;
    }
    for (const wchar_t letter : order) {
        if (letter < L'A' || letter > L'Z' || !(drives & (1u << (letter - L'A'))))
            continue;
        const std::wstring root {letter, L':', L'\\'};
        const UINT type = ::GetDriveTypeW(root.c_str());
        if ((type != DRIVE_FIXED && type != DRIVE_REMOVABLE) || substitute(letter))
            continue;
        const auto serial = serialOf(root);
        if (!serial)
            continue; // no medium, or nothing readable on it yet
        bool known = false;
        for (const auto& volume : volumes)
            known = known || volume.device == *serial;
        if (!known)
            volumes.push_back({utf8(root), *serial});
    }
    return volumes;
}

std::optional<Volume> volumeOf(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return std::nullopt;
    const std::wstring name = wide(path);
    if (::GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    wchar_t root[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(name.c_str(), root, MAX_PATH + 1))
        return std::nullopt;
    const auto serial = serialOf(root);
    if (!serial)
        return std::nullopt;
    return Volume {utf8(root), *serial};
}

bool volumeReadable(const Volume& volume)
{
    if (volume.root.find('\0') != std::string::npos)
        return false;
    const auto serial = serialOf(wide(volume.root));
    return serial && *serial == volume.device;
}

// As the suite has always done it: a hidden command prompt lists the drive,
// and the shell's answer 42 is taken as the listing's success.
bool listVolumeRoot(const Volume& volume)
{
    const auto letter = driveLetter(volume.root);
    if (!letter || !volumeReadable(volume))
        return false;
    const windows::ComScope com;
    const std::wstring parameters = std::wstring(L"/C \"dir ") + *letter + L":\"";
    const HINSTANCE answer = ::ShellExecuteW(nullptr, nullptr, L"cmd", parameters.c_str(), nullptr, SW_HIDE);
    return reinterpret_cast<INT_PTR>(answer) == 42;
}

std::string volumeName(const Volume& volume)
{
    const auto letter = driveLetter(volume.root);
    return letter ? std::string(1, char(*letter)) : volume.root;
}

// Windows announces arrivals to the main window (WM_DEVICECHANGE), which
// reads them with readWindowMessage: there is nothing to watch here.
VolumeArrivals::VolumeArrivals() : state_(nullptr) { }

VolumeArrivals::~VolumeArrivals() = default;

int VolumeArrivals::descriptor() const
{
    return -1;
}

std::vector<Volume> VolumeArrivals::takeArrivals()
{
    return {};
}

} // namespace corvatek::platform
