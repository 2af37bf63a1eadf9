// vkguard.exe: the real-time guard's client for the user who runs it. The
// control centre starts it without arguments and kills it to restart it at
// every change of a configuration switch. With the guard service it passes
// the user's settings on and records what the service finds; without it,
// it checks the files written into the user's folders itself. Either way it
// watches the changes the switches ask for. Exit status: 0 told to stop,
// 1 nothing to protect, 2 files cannot be checked.
#include "guard.h"

#include <cstdlib>

int main()
{
    corvatek::vkguard::Guard guard;
    const int status = guard.run();
    // A load of the client's own engine may still run on its thread.
    std::_Exit(status);
}
