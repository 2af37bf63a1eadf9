// The engine a run hands its messages to: the guard service's, which has
// its signatures loaded already, else one of its own in vkmailscan.exe,
// started only when a run has something to scan, so that vkmail.exe itself
// never maps libclamav and a run with nothing new stays cheap. Both are
// asked through several channels at once, each message as an open file.
#pragma once

#include "common/texts.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvatek::vkmail {

struct Verdict {
    // Lost: the engine went or refused to scan; the message waits for
    // another run. NotScanned: too large, past the unpacking limits, or
    // failed; it counts as looked at.
    enum Kind { Pending, Clean, Found, NotScanned, Lost } kind = Pending;
    std::string signature;
};

class Engine {
public:
    virtual ~Engine() = default;
    // How many messages it may be asked about at once.
    virtual std::size_t channels() const = 0;
    // Scans the open file; each channel is asked by one thread at a time.
    virtual Verdict scan(std::size_t channel, int fd) = 0;
    // Where the signatures came from, for the log.
    virtual std::string description(companion::Language language) const = 0;
};

struct OpenedEngine {
    std::unique_ptr<Engine> engine;
    std::string problem; // why there is none, in the user's language
    std::vector<std::string> notes; // signature folders passed over
};
// The guard service when it answers with signatures (CORVATEK_GUARD_SOCKET
// names another socket; while CORVATEK_SIGNATURES names signatures of the
// tests', only that one is asked), else vkmailscan.exe from the program
// folder or from beside this program.
OpenedEngine openEngine(const std::string& programFolder, companion::Language language);

// Messages the engine is asked about at once: a memory file of several,
// which is scanned whole and, only when that finds something or cannot be
// done, each message of it again alone; or one message's own file.
struct Batch {
    int fd = -1;
    bool alone = false;
    struct Member {
        Verdict* verdict;
        std::uint64_t offset = 0; // in a memory file of several
        std::uint64_t size = 0;
    };
    std::vector<Member> members;
};

// Asks the engine on threads of their own, one per channel, while the
// caller reads on; a bounded number of batches wait.
class ScanPool {
public:
    explicit ScanPool(Engine& engine);
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    // Takes the batch's descriptor over (it is closed once scanned) and puts
    // the verdicts where its members say, which must stay until drain()
    // returned.
    void submit(Batch batch);
    // Waits until every message handed over has its verdict.
    void drain();

private:
    void work(std::size_t channel);
    void scan(std::size_t channel, const Batch& batch);

    Engine& engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_;
    std::size_t unanswered_ = 0;
    bool lost_ = false; // once lost, the rest are not asked
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace corvatek::vkmail
