// The guard service: one engine, kept loaded and reloaded in the background
// when the signature folder changes, answering clients on a SOCK_SEQPACKET
// socket. One thread runs the event loop (clients, the folder's watch,
// signals); scans run on the workers, each answered within its deadline.
#pragma once

#include "common/listener.h"
#include "databasewatch.h"
#include "guarded.h"
#include "onaccess.h"
#include "platform/volumes.h"
#include "scanning/engine.h"
#include "scanning/guardprotocol.h"
#include "workers.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include <sys/socket.h>

namespace corvatek::guard {

struct Settings {
    std::string database;
    std::string socket;
    std::string tempFolder;
    std::chrono::milliseconds deadline {30000};
    // How long an open or a run waits for its scan before it goes through.
    std::chrono::milliseconds openDeadline {2000};
    unsigned workers = 2;
};

class Service {
public:
    explicit Service(Settings settings);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Loads the signatures, listens, tells systemd it is ready, then serves
    // until SIGTERM or SIGINT. The exit status.
    int run();

private:
    struct Client {
        int fd = -1;
        ucred peer {};
        std::uint64_t job = 0; // the scan awaited, 0 for none
        // Set when nobody awaits the scan any more, so that one still
        // queued is never started.
        std::shared_ptr<std::atomic<bool>> abandoned;
        std::chrono::steady_clock::time_point deadline {};
        // A guard client's settings, once it asked to be guarded.
        std::optional<scanning::guard::Guarding> guarding;
    };

    void accept();
    void receive(std::uint64_t id);
    void drop(std::uint64_t id);
    void answer(std::uint64_t id, const std::string& text);
    void startScan(std::uint64_t id, int fd);
    void guard(std::uint64_t id, std::string_view request);
    // Hands the guard clients' settings to the kernel's marks; why each
    // user's home cannot be guarded.
    std::map<uid_t, std::string> regard();
    void tellFindings();
    void finishScans();
    void expireScans();
    void startReload();
    void finishReload();
    void stop();

    const Settings settings_;
    Workers workers_;
    DatabaseWatch watch_;
    std::shared_ptr<const scanning::Engine> engine_; // the loop's alone; scans hold copies
    Guarded guarded_;
    OnAccess onAccess_;
    std::string onAccessProblem_; // why files are not checked on access
    platform::VolumeArrivals mounts_;
    service::Listener listener_;
    int signals_ = -1;
    std::unordered_map<std::uint64_t, Client> clients_;
    std::unordered_map<std::uint64_t, std::uint64_t> jobs_; // job to client
    std::uint64_t lastId_ = 0;
    std::uint64_t lastJob_ = 0;

    // The background reload.
    std::optional<std::chrono::steady_clock::time_point> reloadDue_;
    std::thread reloader_;
    int reloaded_ = -1; // readable once the reload thread is done
    std::shared_ptr<scanning::Engine> fresh_;
    scanning::Engine::Problem freshProblem_;
};

} // namespace corvatek::guard
