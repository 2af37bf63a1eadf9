// Processes on Windows: the Toolhelp snapshot for the list, process handles
// to stop them, CreateProcessW and the shell to start them.
#include "platform/processes.h"
#include "platform/commandline.h"

#include "wide.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <memory>

namespace corvatek::platform {
namespace {

using windows::Handle;
using windows::utf8;
using windows::wide;

// Calls `visit` for each entry of one snapshot until it returns false.
template<typename Visit> void forEachProcess(Visit visit)
{
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (!visit(entry))
            return;
    }
}

// A process that has ended may stay known while someone holds its handle;
// one we may not even wait on counts as alive.
bool hasEnded(DWORD id)
{
    const Handle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

bool named(std::string_view wanted, const std::string& exeFile)
{
    return !wanted.empty() && sameExecutableName(exeFile, wanted);
}

// The user a process runs as; empty when its token cannot be read.
std::unique_ptr<char[]> tokenUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return nullptr;
    const Handle owner(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<char[]>(size ? size : 1);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, user.get(), size, &size))
        return nullptr;
    return user;
}

// A control centre run as an administrator must not end another user's
// program of the same name. When the owner cannot be read, the right to
// terminate decides, as it does for a user without privileges.
bool belongsToOtherUser(DWORD id)
{
    static const auto own = tokenUser(::GetCurrentProcess());
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    const auto other = process ? tokenUser(process.get()) : nullptr;
    if (!own || !other)
        return false;
    return !::EqualSid(
        reinterpret_cast<TOKEN_USER*>(own.get())->User.Sid, reinterpret_cast<TOKEN_USER*>(other.get())->User.Sid);
}

// Never the idle process (0), the system (4) or this process.
bool mayStop(DWORD id)
{
    return id != 0 && id != 4 && id != ::GetCurrentProcessId();
}

bool isRegularFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isBareName(const std::string& name)
{
    return !name.empty() && name.find_first_of("\\/:") == std::string::npos;
}

std::wstring onSearchPath(const std::wstring& name)
{
    std::wstring found(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = ::SearchPathW(nullptr, name.c_str(), nullptr, DWORD(found.size()), found.data(), nullptr);
        if (length == 0)
            return {};
        if (length < found.size()) {
            found.resize(length);
            return isRegularFile(found) ? found : std::wstring();
        }
        found.resize(length);
    }
}

STARTUPINFOW hiddenWindow()
{
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return startup;
}

bool create(const wchar_t* application, std::wstring commandLine, DWORD flags)
{
    STARTUPINFOW startup = hiddenWindow();
    PROCESS_INFORMATION started {};
    if (!::CreateProcessW(
            application, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &started))
        return false;
    // Nobody waits for a companion.
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return true;
}

} // namespace

std::vector<ProcessEntry> processList()
{
    std::vector<ProcessEntry> list;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        list.push_back({utf8(entry.szExeFile), int(entry.th32ProcessID)});
        return true;
    });
    return list;
}

bool isRunning(std::string_view executableName)
{
    bool found = false;
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        found = named(executableName, utf8(entry.szExeFile)) && !hasEnded(entry.th32ProcessID);
        return !found;
    });
    return found;
}

bool terminateByName(std::string_view executableName)
{
    return !executableName.empty() && terminateByNames({std::string(executableName)});
}

bool terminateByNames(const std::vector<std::string>& executableNames)
{
    std::vector<std::vector<DWORD>> found(executableNames.size());
    forEachProcess([&](const PROCESSENTRY32W& entry) {
        const std::string exeFile = utf8(entry.szExeFile);
        for (std::size_t i = 0; i < executableNames.size(); ++i) {
            if (named(executableNames[i], exeFile) && mayStop(entry.th32ProcessID)) {
                found[i].push_back(entry.th32ProcessID);
                break;
            }
        }
        return true;
    });
    bool terminated = false;
    for (const auto& ids : found) {
        for (const DWORD id : ids) {
            const Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
            if (process && !belongsToOtherUser(id))
                terminated = ::TerminateProcess(process.get(), 0) || terminated;
        }
    }
    return terminated;
}

std::string resolveExecutable(const std::string& name, const std::string& folder)
{
    if (!isBareName(name))
        return name;
    if (isRegularFile(wide(folder + name)))
        return folder + name;
    const std::wstring found = onSearchPath(wide(name));
    return found.empty() ? name : utf8(found);
}

bool startDetached(const std::string& programPath, const std::vector<std::string>& arguments)
{
    std::string commandLine = quoteArgument(programPath);
    for (const auto& argument : arguments)
        commandLine += ' ' + quoteArgument(argument);
    // A console of its own that is never shown, rather than ours: what the
    // program writes goes nowhere and our Ctrl+C never reaches it.
    return create(wide(programPath).c_str(), wide(commandLine), CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP);
}

bool shellStart(const std::string& programPath, const std::string& parameters)
{
    const std::wstring program = wide(programPath);
    const std::wstring text = wide(parameters);
    const auto result =
        ::ShellExecuteW(nullptr, L"open", program.c_str(), text.empty() ? nullptr : text.c_str(), nullptr, SW_HIDE);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool consoleStart(const std::string& commandLine, const std::string& folder)
{
    // The program is the command line's first word, as CreateProcessW reads
    // it. Windows would look for it beside the running executable, which is
    // `folder` in the control centre but not in a test or a tool run from
    // elsewhere; a program found in `folder` is therefore named outright,
    // and the command line still reaches it unchanged.
    std::string program;
    if (!commandLine.empty() && commandLine.front() == '"')
        program = commandLine.substr(1, commandLine.find('"', 1) - 1);
    else
        program = commandLine.substr(0, commandLine.find_first_of(" \t"));
    if (program.empty())
        return false;
    std::wstring inFolder;
    if (isBareName(program) && !folder.empty()) {
        // Windows adds ".exe" to a name without an extension.
        inFolder = wide(folder + program + (program.find('.') == std::string::npos ? ".exe" : ""));
        if (!isRegularFile(inFolder))
            inFolder.clear();
    }
    return create(
        inFolder.empty() ? nullptr : inFolder.c_str(), wide(commandLine), CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS);
}

std::string networkStatisticsToolName()
{
    return "netstat.exe";
}

} // namespace corvatek::platform
