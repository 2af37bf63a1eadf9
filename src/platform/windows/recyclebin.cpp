// The recycle bin on Windows is the shell's: it is emptied through the
// shell, which knows every drive's bin and what it holds.
#include "platform/trash.h"

#include "platform/windows/com.h"
#include "platform/windows/wide.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <objbase.h>
#include <optional>
#include <shellapi.h>
#include <thread>

namespace corvatek::platform {
namespace {

// What one bin holds; nothing when the shell will not tell.
std::optional<std::size_t> itemsIn(const wchar_t* root)
{
    SHQUERYRBINFO information {};
    information.cbSize = sizeof information;
    if (FAILED(::SHQueryRecycleBinW(root, &information)) || information.i64NumItems < 0)
        return std::nullopt;
    return std::size_t(information.i64NumItems);
}

// The shell's emptying takes as long as the bin is large and reports no
// progress: it runs beside the caller, who keeps the window painted.
HRESULT emptyBin(const wchar_t* root, const std::function<void()>& betweenItems)
{
    std::atomic<bool> done {false};
    HRESULT result = E_FAIL;
    std::thread worker([&] {
        const windows::ComScope com;
        // No confirmation, as ever; the shell's progress and sound stay.
        result = ::SHEmptyRecycleBinW(nullptr, root, SHERB_NOCONFIRMATION);
        done = true;
    });
    while (betweenItems && !done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!done)
            betweenItems();
    }
    worker.join();
    return result;
}

} // namespace

// One entry, the empty path, stands for every drive's recycle bin; any other
// entry names the root of the drive whose bin it is ("D:\").
std::vector<std::string> trashFolders()
{
    return {std::string()};
}

// The shell empties a bin whole or not at all as far as it tells: what it
// held before counts as deleted when it reports success, else as kept. A bin
// the shell cannot count is emptied all the same, and counts nothing.
TrashOutcome emptyTrash(const std::vector<std::string>& folders, const std::function<void()>& betweenItems)
{
    TrashOutcome outcome;
    std::vector<std::wstring> roots;
    for (const auto& folder : folders) {
        if (folder.find('\0') != std::string::npos)
            continue;
        const std::wstring root = windows::wide(folder);
        if (root.empty()) {
            roots = {root}; // every bin, each once
            break;
        }
        if (std::find(roots.begin(), roots.end(), root) == roots.end())
            roots.push_back(root);
    }
    const windows::ComScope com;
    for (const auto& root : roots) {
        const wchar_t* name = root.empty() ? nullptr : root.c_str();
        const auto items = itemsIn(name);
        if (items == std::size_t(0))
            continue;
        const HRESULT result = emptyBin(name, betweenItems);
        (result == S_OK ? outcome.deleted : outcome.kept) += items.value_or(0);
    }
    return outcome;
}

} // namespace corvatek::platform
