// What the test folder needs of Windows: its processes by their image path.
// A read-only file stays unwritable for an administrator too, so there is
// no permission to put aside.
#include "testfolder.h"

#include <windows.h>

#include <tlhelp32.h>

#include <QDir>
#include <QFileInfo>

namespace corvatek::test {

QList<int> processesIn(const QString& folder)
{
    QList<int> ids;
    const QString wanted = QDir::toNativeSeparators(folder);
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        wchar_t image[MAX_PATH * 4];
        DWORD size = DWORD(std::size(image));
        DWORD exitCode = 0;
        const bool live = ::GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
        // A process just made may not tell its image yet: one named like a
        // program of the folder counts as the folder's (the tests' names are
        // their own).
        const bool inFolder = ::QueryFullProcessImageNameW(process, 0, image, &size)
            ? QString::fromWCharArray(image, int(size)).startsWith(wanted, Qt::CaseInsensitive)
            : QFileInfo::exists(folder + QString::fromWCharArray(entry.szExeFile));
        if (live && inFolder)
            ids.append(int(entry.th32ProcessID));
        ::CloseHandle(process);
    }
    ::CloseHandle(snapshot);
    return ids;
}

void killProcess(int pid)
{
    if (const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid))) {
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
    }
}

OrdinaryUserFileAccess::OrdinaryUserFileAccess() = default;
OrdinaryUserFileAccess::~OrdinaryUserFileAccess() = default;

} // namespace corvatek::test
