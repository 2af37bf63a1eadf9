#include "common/notice.h"

#include "common/filename.h"
#include "data/values.h"
#include "platform/filecontent.h"
#include "platform/processes.h"
#include "platform/system.h"

#include <climits>
#include <unistd.h>

namespace corvatek::companion {
namespace {

bool isExecutable(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

} // namespace

bool tellUser(const std::string& programFolder, const std::string& message)
{
    // The control centre's default level tells; only the lowest is silent.
    const platform::FileRead level =
        platform::readRegularFile(programFolder + fileName(files::ProtectionLevel), 4096);
    if (level.status == platform::FileRead::Ok &&
        valueOf<ProtectionLevel>(std::string_view(level.bytes).substr(0, 1)) == ProtectionLevel::Low)
        return false;
    const std::string name = fileName(files::Notifier);
    std::string notifier = programFolder + name;
    if (!isExecutable(notifier))
        notifier = platform::programFolder() + name;
    // The notifier takes its message as one argument with ';' for blanks.
    std::string argument = message;
    for (char& c : argument) {
        if (c == ' ')
            c = ';';
    }
    return isExecutable(notifier) && platform::startDetached(notifier, {argument});
}

} // namespace corvatek::companion
