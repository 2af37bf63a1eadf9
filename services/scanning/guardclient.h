// The client side of the guard service: one connection, one request at a
// time, each answer awaited a bounded time.
#pragma once

#include "guardprotocol.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::scanning::guard {

// The service's socket for a program that scans through it: the one
// CORVATEK_GUARD_SOCKET names, else the system's; none while
// CORVATEK_SIGNATURES names signatures in place of the system's, which the
// service does not scan with.
std::string chosenSocket();

// Sends `request` on the connected `socket`, with the descriptor when `fd`
// is one; false when not all of it went.
bool sendRequest(int socket, Request request, int fd = -1);

// The fields of a message whose fields are apart by NUL.
std::vector<std::string_view> fields(std::string_view text);

class Client {
public:
    // `wait` bounds each answer; the service answers a scan past its own
    // deadline with a timeout, so this only guards against a stuck service.
    explicit Client(std::string socketPath, std::chrono::milliseconds wait = std::chrono::seconds(60));
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects, closing any earlier connection; false when nothing listens.
    bool connect();
    bool connected() const { return fd_ >= 0; }
    const std::string& socketPath() const { return path_; }

    // Sends the request, with the descriptor when `fd` is one, and waits for
    // the answer. Nothing when the connection broke, the service went or
    // did not answer in time, or the answer was no answer of the protocol:
    // the connection is then closed.
    std::optional<Answer> ask(Request request, int fd = -1);

    // Connects and asks whether the service has signatures to scan with.
    bool ready();

    // For a guard client, which reads answers and events as they come: sends
    // one message without awaiting anything (false, and closed, when the
    // connection broke), and the connection to poll and read.
    bool post(std::string_view text);
    int socket() const { return fd_; }

private:
    void disconnect();

    std::string path_;
    std::chrono::milliseconds wait_;
    int fd_ = -1;
};

} // namespace corvatek::scanning::guard
