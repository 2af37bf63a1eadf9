#include "targets.h"

#include "platform/linux/desktopentry.h"
#include "platform/linux/folderentries.h"
#include "platform/linux/searchpath.h"
#include "platform/linux/xdg.h"

#include <algorithm>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace corvatek::probe {
namespace {

// The program of an Exec value; "env NAME=value program" starts `program`.
std::string programOf(const std::string& exec)
{
    const auto arguments = platform::desktop::execArguments(exec);
    if (!arguments || arguments->empty())
        return {};
    auto program = arguments->begin();
    const std::string_view first = *program;
    if (first == "env" || first == "/usr/bin/env" || first == "/bin/env") {
        program = std::find_if(program + 1, arguments->end(), [](const std::string& argument) {
            return argument.find('=') == std::string::npos && argument.rfind('-', 0) != 0;
        });
        if (program == arguments->end())
            return {};
    }
    if (program->front() == '/')
        return *program;
    // A path relative to where the session happens to start means nothing.
    return program->find('/') == std::string::npos ? platform::onSearchPath(*program) : std::string();
}

} // namespace

std::vector<std::string> autostartPrograms()
{
    std::vector<std::string> programs;
    const std::string folder = platform::xdg::autostartFolder();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return programs;
    std::vector<std::string> names = platform::folders::names(fd);
    ::close(fd);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name.size() <= 8 || name.compare(name.size() - 8, 8, ".desktop") != 0)
            continue;
        const auto text = platform::desktop::readSmallFile(folder + "/" + name);
        const auto keys = text ? platform::desktop::parse(*text) : std::nullopt;
        if (!keys)
            continue;
        const auto hidden = keys->find("Hidden");
        const auto exec = keys->find("Exec");
        if ((hidden != keys->end() && hidden->second == "true") || exec == keys->end())
            continue;
        std::string program = programOf(exec->second);
        if (!program.empty() && std::find(programs.begin(), programs.end(), program) == programs.end())
            programs.push_back(std::move(program));
    }
    return programs;
}

} // namespace corvatek::probe
