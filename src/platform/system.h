// This program and this machine.
#pragma once

#include <optional>
#include <string>

namespace corvatek::platform {

// Folder of the running executable, ending with a path separator.
std::string programFolder();

// The machine's host name, or nothing when the system will not tell.
std::optional<std::string> hostName();

// The machine's IPv4 address on its network, as four decimal bytes joined by
// ".": that of the interface the default route leaves by, else of the first
// interface that is up, loopback aside; "127.0.0.1" when no such interface
// has one. Nothing when the interfaces cannot be read.
std::optional<std::string> machineAddress();

} // namespace corvatek::platform
