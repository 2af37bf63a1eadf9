// The file lock's one system-specific step, made by each backend; the
// waiting and the lock's lifetime are the same on every system.
#pragma once

#include "platform/files.h"

#include <string>

namespace corvatek::platform {

enum class Attempt { Locked, Absent, Busy, Unusable };

// One try: on Locked (and on Absent, with -1) `fd` holds the lock; on
// Unusable `reason` says why no wait would help.
Attempt tryLock(const std::string& path, LockMode mode, int& fd, std::string* reason = nullptr);
// Gives a held lock back.
void closeLocked(int fd);

} // namespace corvatek::platform
