// The running check as a whole process, to time it beside `pgrep -x`.
// Exit status 0 when a process of the name runs, 1 otherwise.
#include "platform/processes.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    return corvatek::platform::isRunning(argv[1]) ? 0 : 1;
}
