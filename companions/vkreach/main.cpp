// vkreach.exe: the connection monitor. The control centre starts it without
// arguments while the machine has a network address and kills it at its end.
// Every five seconds it lists the machine's listening ports with the programs
// that hold them in portappli.txt, for the settings page, and tells the user
// when a program starts listening on a port it did not listen on before.
#include "monitor.h"

#include "common/companion.h"

#include <chrono>
#include <thread>

int main()
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kRound = std::chrono::seconds(5);
    corvatek::vkreach::Monitor monitor(corvatek::companion::programFolder());
    auto next = Clock::now();
    for (;;) {
        monitor.round();
        next += kRound;
        // A round held up past the next one's time is not made up for.
        const auto now = Clock::now();
        if (next < now)
            next = now + kRound;
        std::this_thread::sleep_until(next);
    }
}
