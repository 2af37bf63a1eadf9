// Who is guarded, and how: the guard clients' settings per user, and what
// follows from them for the kernel's marks and for each access.
#pragma once

#include "onaccess.h"

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace corvatek::guard {

struct GuardedUser {
    std::string name;
    std::string home; // from the password database, never from the client
    std::array<bool, 12> flags {}; // any of the user's clients asking is enough
    std::vector<std::string> downloads;

    bool flag(int number) const { return flags[std::size_t(number - 1)]; }
};

class Guarded {
public:
    // The loop's: replaces the users guarded.
    void set(std::map<uid_t, GuardedUser> users);
    // Any thread: whether the access is checked for the user of the process
    // or the owner of the file.
    bool wants(Access access, uid_t opener, uid_t owner, std::string_view path) const;
    // The file systems to mark: each user's home's and the volumes mounted
    // for them (under /media/<name> or /run/media/<name>). A home on a file
    // system where marks do not hold (network, FUSE) is left out, with why.
    std::map<dev_t, Mark> marks(std::map<uid_t, std::string>& unguarded) const;

private:
    mutable std::mutex mutex_;
    std::map<uid_t, GuardedUser> users_;
};

// Why the file system holding `path` cannot be guarded; empty when it can.
std::string unguardable(const std::string& path);

} // namespace corvatek::guard
