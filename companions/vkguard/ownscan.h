// The client's own engine, for when the guard service does not check files:
// a process of its own (vkguardscan.exe), started once and loading the
// signatures while the client goes on, then asked about each file written
// into the folders watched, in the order they were written.
#pragma once

#include "common/texts.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_set>
#include <vector>

namespace corvatek::vkguard {

class OwnScan {
public:
    struct Finding {
        std::string path;
        std::string signature;
        std::int64_t modified = 0;
    };
    struct Loaded {
        std::string folder; // when loaded
        std::string signatures;
        std::string problem; // when no engine loaded, why
        std::vector<std::string> notes; // signature folders passed over
        bool ok() const { return problem.empty(); }
    };
    struct Report {
        std::optional<Loaded> loaded; // once, when the load ended
        std::vector<Finding> findings;
        // The engine's process ended, and why (a signal, an exit status).
        std::optional<std::string> ended;
    };

    // Starts the engine's process, found in the program folder, else beside
    // this program. One that cannot be started reports a failed load.
    OwnScan(const std::string& programFolder, companion::Language language);
    // Ends the engine's process, loaded or not.
    ~OwnScan();
    OwnScan(const OwnScan&) = delete;
    OwnScan& operator=(const OwnScan&) = delete;

    // Readable when the engine tells something; writable wanted while
    // paths wait to be sent.
    int descriptor() const { return socket_; }
    bool sending() const { return !waiting_.empty(); }

    void scan(const std::string& path);
    // Sends what waits, as far as the socket takes it.
    void send();
    Report read();

private:
    void ended(Report& report);

    int socket_ = -1;
    pid_t process_ = -1;
    std::optional<Loaded> startFailure_;
    std::deque<std::string> waiting_;
    std::unordered_set<std::string> queued_;
};

} // namespace corvatek::vkguard
