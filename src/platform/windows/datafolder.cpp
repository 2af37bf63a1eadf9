#include "platform/common/datafolderbackend.h"
#include "platform/windows/wide.h"

#include <shlobj.h>

#include <cwctype>

namespace corvatek::platform::backend {

using windows::Handle;
using windows::utf8;
using windows::wide;

bool keepsFilesElsewhere(const std::string& programFolder)
{
    // Rights come from access lists that only an attempt reads truly: a
    // file made and gone again at once.
    const std::wstring probe = wide(programFolder) + L".corvatek-write-test";
    const Handle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return !file.get();
}

std::string makePrivateFolder(const std::string& folder)
{
    // The user's profile is closed to other users already; what is made
    // inside it inherits that.
    const int result = ::SHCreateDirectoryExW(nullptr, wide(folder).c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
        return folder + ": " + windows::errorText(DWORD(result));
    const DWORD attributes = ::GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return folder + ": " + windows::errorText(ERROR_DIRECTORY);
    return {};
}

bool absolutePath(const std::string& path)
{
    return (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
        path.rfind("\\\\", 0) == 0;
}

char separator()
{
    return '\\';
}

} // namespace corvatek::platform::backend

namespace corvatek::platform {

using windows::utf8;

std::string userDataFolder()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return utf8(path) + "\\Corvatek\\";
}

} // namespace corvatek::platform
