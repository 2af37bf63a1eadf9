// The user's session on Windows: a named mutex makes the one instance, window
// messages reach it, and the user's Run key starts it at log-on. There is no
// local socket and no signal here: Qt turns the end of the session into
// window messages.
#include "platform/session.h"
#include "platform/common/localevariables.h"
#include "platform/localsocket.h"
#include "platform/shortcuts.h"

#include "wide.h"

#include <dbt.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <optional>

namespace corvatek::platform {
namespace {

using windows::utf8;
using windows::wide;

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kRegistryChange = 2997;

UINT secondStartMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"corvatek.exe second start");
    return message;
}

// The Run key, created when absent; null when it cannot be opened.
HKEY openRunKey(REGSAM access)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, access, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

struct KeyCloser {
    HKEY key;
    ~KeyCloser()
    {
        if (key)
            ::RegCloseKey(key);
    }
};

std::wstring expanded(const std::wstring& text)
{
    std::wstring result(text.size() + 1, L'\0');
    while (true) {
        const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), result.data(), DWORD(result.size()));
        if (length == 0)
            return text;
        if (length <= result.size()) {
            result.resize(length - 1);
            return result;
        }
        result.resize(length);
    }
}

// The text of a string value, expanded when it asks for it; nothing for a
// value of another type.
std::optional<std::wstring> stringValue(DWORD type, const std::vector<BYTE>& data)
{
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return std::nullopt;
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str())); // data may or may not end with NUL
    return type == REG_EXPAND_SZ ? expanded(text) : text;
}

bool startsWithDrive(const std::wstring& path)
{
    return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

// Only a definite "not there" counts: a drive not attached now, a drive
// without its medium, a network path that does not answer or a refused look
// leaves the program unjudged. A name no file can have is not there either.
bool surelyMissingPath(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME)
        return false;
    if (!startsWithDrive(path))
        return true;
    const std::wstring root = path.substr(0, 3);
    const UINT type = ::GetDriveTypeW(root.c_str());
    return type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
}

bool knownToAppPaths(const std::wstring& name)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY found = nullptr;
        if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &found) == ERROR_SUCCESS) {
            ::RegCloseKey(found);
            return true;
        }
    }
    return false;
}

// Whether the program `candidate` names is surely missing: an absolute path
// to nothing (Windows also runs it with ".exe" added), or a bare name that
// the search path and the registered application paths do not know. A
// relative path depends on a folder we cannot know and is left alone.
bool surelyMissingProgram(const std::wstring& candidate)
{
    if (candidate.empty())
        return false;
    if (startsWithDrive(candidate) || candidate.rfind(L"\\\\", 0) == 0) {
        const bool hasExtension = candidate.find(L'.', candidate.find_last_of(L"\\/") + 1) != std::wstring::npos;
        return surelyMissingPath(candidate) && (hasExtension || surelyMissingPath(candidate + L".exe"));
    }
    if (candidate.find_first_of(L"\\/:") != std::wstring::npos)
        return false;
    wchar_t found[MAX_PATH];
    return ::SearchPathW(nullptr, candidate.c_str(), L".exe", MAX_PATH, found, nullptr) == 0 &&
        !knownToAppPaths(candidate);
}

// A command's program is its first quoted word; unquoted, it may hold
// blanks ("C:\Program Files\..."), so every blank-ended prefix is a
// candidate and the program is missing only when all of them are.
bool programSurelyMissing(std::wstring command)
{
    const std::wstring autoRun = L"/autoRun";
    if (command.size() >= autoRun.size() &&
        command.compare(command.size() - autoRun.size(), autoRun.size(), autoRun) == 0)
        command.resize(command.size() >= autoRun.size() + 1 ? command.size() - autoRun.size() - 1 : 0);
    const auto start = command.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        return false;
    command.erase(0, start);
    if (command.front() == L'"')
        return surelyMissingProgram(command.substr(1, command.find(L'"', 1) - 1));
    for (std::size_t blank = command.find_first_of(L" \t"); blank != std::wstring::npos;
         blank = command.find_first_of(L" \t", blank + 1)) {
        if (!surelyMissingProgram(command.substr(0, blank)))
            return false;
    }
    return surelyMissingProgram(command);
}

} // namespace

InstanceClaim claimInstance(const std::string& name)
{
    InstanceClaim claim;
    ::SetLastError(0);
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wide(name).c_str());
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        if (mutex)
            ::CloseHandle(mutex);
        claim.result = InstanceClaim::Result::HeldElsewhere;
    } else if (!mutex) {
        claim.problem = "the mutex " + name + " cannot be created (" + windows::errorText(error) + ")";
    } else {
        claim.result = InstanceClaim::Result::Claimed;
        claim.held_ = std::shared_ptr<void>(mutex, [](void* handle) { ::CloseHandle(handle); });
    }
    return claim;
}

bool announceSecondStart(const InstanceClaim& claim)
{
    if (claim.result != InstanceClaim::Result::HeldElsewhere || secondStartMessage() == 0)
        return false;
    // The user started this process: it may hand the foreground on to the
    // window it wakes.
    ::AllowSetForegroundWindow(ASFW_ANY);
    return ::PostMessageW(HWND_BROADCAST, secondStartMessage(), 0, 0);
}

bool tellInstance(const std::string&, const std::string&)
{
    return false;
}

WindowMessage readWindowMessage(const void* native, std::uintptr_t window)
{
    WindowMessage result;
    const auto* message = static_cast<const MSG*>(native);
    if (!message || message->hwnd != reinterpret_cast<HWND>(window))
        return result;
    if (message->message == secondStartMessage() && secondStartMessage() != 0) {
        result.kind = WindowMessage::SecondStart;
    } else if (message->message == kRegistryChange) {
        result.kind = WindowMessage::RegistryChange;
        result.first = std::uint64_t(message->wParam);
        result.second = std::uint64_t(message->lParam);
    } else if (message->message == WM_DEVICECHANGE && message->wParam == DBT_DEVICEARRIVAL && message->lParam) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(message->lParam);
        if (header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
            header->dbch_size < offsetof(DEV_BROADCAST_VOLUME, dbcv_flags) + sizeof(WORD))
            return result;
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
        // Media put into a drive and network drives are no arrival.
        if (volume->dbcv_flags != 0 || volume->dbcv_unitmask == 0)
            return result;
        // Exact for the usual single drive; a mask of several drives yields
        // one letter near the highest.
        const long drive = std::lround(std::log2(double(volume->dbcv_unitmask)));
        if (drive > 25)
            return result;
        result.kind = WindowMessage::VolumeAttached;
        result.volume = std::string(1, char('A' + drive)) + ":\\";
    }
    return result;
}

// Neither Windows nor wine offers the local socket here; the instance hears
// of a second start by window message instead.
int listenLocal(const std::string&)
{
    return -1;
}
int acceptLocal(int)
{
    return -1;
}
LocalRead readLocal(int, std::size_t)
{
    return {{}, true};
}
void closeLocal(int) { }
bool sendLocalMessage(const std::string&, const std::string&)
{
    return false;
}

// Windows ends a window program's session with window messages, which Qt
// turns into its own events.
int terminationRequests()
{
    return -1;
}
void clearTerminationRequests() { }

std::string autostartCommand(const std::string& name)
{
    const KeyCloser key {openRunKey(KEY_QUERY_VALUE)};
    DWORD type = 0;
    DWORD size = 0;
    const std::wstring valueName = wide(name);
    if (!key.key || ::RegQueryValueExW(key.key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(size);
    if (::RegQueryValueExW(key.key, valueName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return utf8(stringValue(type, data).value_or(std::wstring()));
}

bool setAutostartCommand(const std::string& name, const std::string& command)
{
    const KeyCloser key {openRunKey(KEY_SET_VALUE)};
    const std::wstring data = wide(command);
    return key.key &&
        ::RegSetValueExW(key.key, wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
            DWORD((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::vector<std::string> removeDeadAutostartEntries(const std::string& keepName)
{
    std::vector<std::string> deleted;
    const KeyCloser key {openRunKey(KEY_QUERY_VALUE | KEY_SET_VALUE)};
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (!key.key ||
        ::RegQueryInfoKeyW(key.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
            &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return deleted;
    // Every value is read before any is deleted: deleting renumbers them.
    struct Entry {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Entry> entries;
    for (DWORD index = 0;; ++index) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<BYTE> data(longestData + sizeof(wchar_t));
        DWORD nameLength = DWORD(name.size());
        DWORD dataSize = DWORD(data.size());
        DWORD type = 0;
        const LSTATUS status =
            ::RegEnumValueW(key.key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA)
            continue; // grown since the key was measured: judged next time
        if (status != ERROR_SUCCESS)
            break;
        name.resize(nameLength);
        data.resize(dataSize);
        entries.push_back({std::move(name), type, std::move(data)});
    }
    const std::wstring keep = wide(keepName);
    for (const Entry& entry : entries) {
        // Value names ignore case, as the registry does.
        if (::CompareStringOrdinal(entry.name.c_str(), -1, keep.c_str(), -1, TRUE) == CSTR_EQUAL)
            continue;
        const auto command = stringValue(entry.type, entry.data);
        if (!command || !programSurelyMissing(*command))
            continue;
        if (::RegDeleteValueW(key.key, entry.name.c_str()) == ERROR_SUCCESS)
            deleted.push_back(utf8(entry.name));
    }
    return deleted;
}

std::string userLanguage()
{
    // A locale variable set in the environment wins.
    if (std::string locale = messagesLocale(); !locale.empty())
        return locale;
    ULONG count = 0;
    ULONG size = 0;
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0)
        return {};
    std::wstring names(size, L'\0');
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size))
        return {};
    return windows::utf8(names.c_str()); // the first of a list of names each ended by NUL
}

} // namespace corvatek::platform
