// Prints the machine's address as the control centre finds it, for the
// tests that run it inside private network namespaces.
#include "platform/system.h"

#include <cstdio>

int main()
{
    std::puts(corvatek::platform::machineAddress().value_or("").c_str());
}
