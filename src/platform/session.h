// This user's session: the one instance of the program, the requests to end
// it, the user's language and autostart entries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvatek::platform {

// What a start finds when it claims the one instance of `name` that may run
// for this user. The lock and the socket sit in a folder only the user can
// change: the runtime folder, or <temporary folder>/corvatek-<uid>.
class InstanceClaim {
public:
    enum class Result {
        Claimed, // this process is the one instance while the claim lives
        HeldElsewhere, // another process of this user is
        Unavailable, // no private place for the lock: `problem` says why
    };

    Result result = Result::Unavailable;
    std::string socketPath; // the instance's message socket, unless Unavailable
    std::string problem; // e.g. "/tmp/corvatek-1000 belongs to another user"

private:
    friend InstanceClaim claimInstance(const std::string& name);
    // What makes the claim (a lock, a mutex), held while it lives; the end of
    // the process releases it too.
    std::shared_ptr<void> held_;
};

// On Windows the claim is the named mutex `name`, and there is no socket.
InstanceClaim claimInstance(const std::string& name);

// Tells the instance that `claim` found running that the user started the
// program again, so that it can come forward; true when it was told.
bool announceSecondStart(const InstanceClaim& claim);
// Hands the running instance of `name` a line, as a companion does; false
// when none listens. On Windows companions post window messages instead:
// always false.
bool tellInstance(const std::string& name, const std::string& line);

// What a window message tells the one instance. On Windows a later start,
// a companion and the system reach the window thread this way; on Linux
// through the socket and the mount table, and no window message is one.
struct WindowMessage {
    enum Kind {
        Other,
        SecondStart, // a later start of the program
        RegistryChange, // the message 2997 with its two parameters
        VolumeAttached, // the system's arrival of a volume: `volume` holds its root
    } kind = Other;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::string volume;
};
// `native` is what the window system hands over (on Windows a MSG); only a
// message to `window`, the main window's handle, counts.
WindowMessage readWindowMessage(const void* native, std::uintptr_t window);

// Turns the requests to end the program that the system or the user send
// (on Linux SIGTERM, SIGHUP, SIGINT) into a byte on the returned descriptor,
// so that the window thread can end in order. -1 when it cannot.
int terminationRequests();
// Takes the pending requests off that descriptor once they are handled.
void clearTerminationRequests();

// The language the user reads messages in, as the system names it: the
// first of LC_ALL, LC_MESSAGES and LANG that is set ("de_DE.UTF-8"), else on
// Windows the user's first display language ("de-DE"); empty when none is.
std::string userLanguage();

// The command of the user's autostart entry `name`; empty when there is none.
std::string autostartCommand(const std::string& name);
// Makes the user's autostart entry `name` run `command` (a program path) at
// log-on. Other settings of an existing entry are kept.
bool setAutostartCommand(const std::string& name, const std::string& command);

} // namespace corvatek::platform
