#include "platform/common/datafolder.h"
#include "platform/linux/xdg.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::platform::backend {

bool keepsFilesElsewhere(const std::string& programFolder)
{
    // The package manager's folders are never the user's to write, even when
    // root runs the program.
    for (const char* installed : {"/usr/", "/opt/"}) {
        if (programFolder.rfind(installed, 0) == 0)
            return true;
    }
    return ::access(programFolder.c_str(), W_OK | X_OK) != 0;
}

std::string makePrivateFolder(const std::string& folder)
{
    // Each missing level is made 0700, as the base directory rules ask.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            return level + ": " + std::strerror(errno);
    }
    struct stat info { };
    if (::stat(folder.c_str(), &info) != 0)
        return folder + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return folder + ": " + std::strerror(ENOTDIR);
    return {};
}

bool absolutePath(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

char separator()
{
    return '/';
}

} // namespace corvatek::platform::backend

namespace corvatek::platform {

std::string userDataFolder()
{
    std::string base = xdg::dataHome();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/corvatek/";
}

} // namespace corvatek::platform
