// Messages to the one instance over a local socket.
#pragma once

#include <cstddef>
#include <string>

namespace corvatek::platform {

// The instance's message channel, a local stream socket. The one instance
// listens and reads each connection without ever waiting on it; later starts
// and companions connect, send one line and close.
// listenLocal returns a non-blocking listening descriptor (-1 on failure),
// replacing a stale socket at `path`. acceptLocal takes one pending
// connection as a non-blocking descriptor, -1 when none is waiting.
// readLocal returns what has arrived, at most `limit` bytes, and whether the
// peer has ended the connection. closeLocal closes either kind.
int listenLocal(const std::string& path);
int acceptLocal(int listener);
struct LocalRead {
    std::string bytes;
    bool ended = false;
};
LocalRead readLocal(int connection, std::size_t limit);
void closeLocal(int descriptor);
// Connects, writes the line and LF, closes; gives up after a second when the
// listener does not take the connection.
bool sendLocalMessage(const std::string& path, const std::string& line);

} // namespace corvatek::platform
