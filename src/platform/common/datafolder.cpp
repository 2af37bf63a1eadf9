#include "platform/common/datafolder.h"
#include "platform/platform.h"

#include <cstdlib>

namespace corvatek::platform {

DataFolder dataFolder()
{
    DataFolder result;
    const char* handed = std::getenv(kDataFolderVariable);
    if (handed && backend::absolutePath(handed)) {
        result.path = handed;
        result.besideProgram = false;
    } else {
        result.path = programFolder();
        if (!backend::keepsFilesElsewhere(result.path))
            return result;
        result.path = userDataFolder();
        result.besideProgram = false;
    }
    if (result.path.back() != backend::separator() && result.path.back() != '/')
        result.path += backend::separator();
    result.problem = backend::makePrivateFolder(result.path);
    return result;
}

} // namespace corvatek::platform
