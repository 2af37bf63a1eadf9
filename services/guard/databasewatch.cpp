#include "databasewatch.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace corvatek::guard {
namespace {

constexpr std::uint32_t kChanges = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB |
    IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

DatabaseWatch::DatabaseWatch(std::string folder)
    : folder_(std::move(folder)), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    rewatch();
}

DatabaseWatch::~DatabaseWatch()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool DatabaseWatch::rewatch()
{
    if (fd_ >= 0 && watch_ < 0)
        watch_ = ::inotify_add_watch(fd_, folder_.c_str(), kChanges);
    return watch_ >= 0;
}

bool DatabaseWatch::readChanges()
{
    bool changed = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return changed;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            // The folder went or moved: a new one at its name is watched
            // once it is there.
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                ::inotify_rm_watch(fd_, event->wd);
                watch_ = -1;
            } else if (event->mask & IN_IGNORED) {
                if (event->wd == watch_)
                    watch_ = -1;
                continue;
            }
            changed = true;
        }
    }
}

} // namespace corvatek::guard
