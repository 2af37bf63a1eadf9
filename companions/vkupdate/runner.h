// Runs freshclam so that its end, however it comes, ends all it started.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace corvatek::update {

struct Outcome {
    bool started = false;
    bool stopped = false; // ran past the limit
    int told = 0; // the signal that told this process to stop
    int status = -1; // the exit status, or -1 when it ended by a signal
    int signal = 0;
    std::string output; // its last bytes, both streams
    std::string error; // when not started
};

// Sets up the signals that tell this process to stop, before anything is
// started; false (errno set) when that cannot be done.
bool catchSignals();

// Runs the program with its output read into the outcome; asks all it
// started to end (SIGTERM, then SIGKILL after a grace of 5 s) when it runs
// past `limit` or this process is told to stop, and kills what is left at
// its end.
Outcome runLimited(const std::string& program, const std::vector<std::string>& arguments, std::chrono::seconds limit);

} // namespace corvatek::update
