// Prints where a copy run from this program's folder keeps the suite's
// files: the folder, then "beside" or "elsewhere", then the problem, a line
// each. Copied into folders of each kind by the tests.
#include "platform/datafolder.h"
#include "platform/system.h"

#include <cstdio>

int main()
{
    const auto folder = corvatek::platform::dataFolder();
    const bool beside = folder.path == corvatek::platform::programFolder();
    std::printf("%s\n%s\n%s\n", folder.path.c_str(), beside ? "beside" : "elsewhere", folder.problem.c_str());
    return 0;
}
