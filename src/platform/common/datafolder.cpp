#include "platform/datafolder.h"
#include "platform/common/datafolderbackend.h"
#include "platform/system.h"

#include <cstdlib>

namespace corvatek::platform {

DataFolder dataFolder()
{
    DataFolder result;
    const char* handed = std::getenv(kDataFolderVariable);
    if (handed && backend::absolutePath(handed)) {
        result.path = handed;
    } else {
        result.path = programFolder();
        if (!backend::keepsFilesElsewhere(result.path))
            return result;
        const std::string own = userDataFolder();
        // With no folder of the user's known, the files stay where they are
        // and the user hears why they may not be saved.
        if (own.empty()) {
            result.problem = "the user's own data folder is unknown";
            return result;
        }
        result.path = own;
    }
    if (result.path.back() != backend::separator() && result.path.back() != '/')
        result.path += backend::separator();
    result.problem = backend::makePrivateFolder(result.path);
    return result;
}

std::string makeUserFolder(const std::string& folder)
{
    return backend::makePrivateFolder(folder);
}

} // namespace corvatek::platform
