#include "platform/common/datafolderbackend.h"
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
    // Each missing level is made 0700, as the base directory rules ask; one
    // root makes in a user's folder is the user's, as the level above it.
    const std::string path = folder.ends_with('/') ? folder : folder + '/';
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0) {
            if (errno != EEXIST)
                return level + ": " + std::strerror(errno);
            continue;
        }
        struct stat above { };
        if (::geteuid() == 0 && ::stat(level.substr(0, level.rfind('/') + 1).c_str(), &above) == 0)
            (void)::lchown(level.c_str(), above.st_uid, above.st_gid);
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
