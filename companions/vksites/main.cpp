// vksites.exe: looks up the IPv4 address of the site the user typed and
// leaves it, alone, as the last line of ipcp.txt; an empty ipcp.txt when
// there is none, no ipcp.txt when it cannot be written. Ends within five
// seconds whatever the resolver does.
#include "common/companion.h"
#include "data/filenames.h"
#include "site.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace corvatek;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kRunLimit = 4500ms;
// Kept for writing the answer once the lookup is over.
constexpr auto kWriteReserve = 700ms;
constexpr auto kClearWait = 500ms;

struct Lookup {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::optional<std::string> address;
};

// getaddrinfo has no timeout of its own (a silent name server holds it for
// as long as resolv.conf says), so it runs on a thread left behind when late.
std::optional<std::string> lookUp(const std::string& site, Clock::time_point until, bool* late)
{
    const auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, site] {
        addrinfo hints {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::optional<std::string> address;
        if (::getaddrinfo(site.c_str(), nullptr, &hints, &found) == 0) {
            for (const addrinfo* entry = found; entry && !address; entry = entry->ai_next) {
                char text[INET_ADDRSTRLEN];
                const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
                if (entry->ai_family == AF_INET && ::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text))
                    address = text;
            }
            ::freeaddrinfo(found);
        }
        const std::lock_guard hold(lookup->mutex);
        lookup->address = std::move(address);
        lookup->done = true;
        lookup->ended.notify_one();
    }).detach();
    std::unique_lock hold(lookup->mutex);
    *late = !lookup->ended.wait_until(hold, until, [&] { return lookup->done; });
    return *late ? std::nullopt : lookup->address;
}

// The address of what was typed: as typed, or as the resolver finds it.
std::optional<std::string> addressOf(const std::string& site, Clock::time_point until, bool* late)
{
    const sites::Query query = sites::queryFor(site);
    switch (query.kind) {
    case sites::Query::Address: return query.text;
    case sites::Query::Name: return lookUp(query.text, until, late);
    case sites::Query::Nothing: break;
    }
    return std::nullopt;
}

// A file that cannot be replaced must not hand the previous site's address
// on: its name is removed (which needs no lock), else it is emptied in place.
void leaveNoAddress(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::unlink(native.constData()) == 0 || errno == ENOENT)
        return;
    const int fd = ::open(native.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    const Clock::time_point deadline = Clock::now() + kRunLimit;
    const std::string site = sites::siteOf(argc, argv);
    const QString folder = companion::programFolder();

    // Should this run end early, the previous site's address must not be
    // taken for this one's. A file held by another program is not written
    // behind its back: the run gives no answer.
    const data::ProgramFiles cleared(folder, {kClearWait, {}});
    if (!cleared.replaceFile(files::SiteAddress, {}).ok()) {
        leaveNoAddress(cleared.path(files::SiteAddress));
        return 2;
    }

    bool late = false;
    const std::optional<std::string> address = addressOf(site, deadline - kWriteReserve, &late);

    const auto wait = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()), 100ms);
    const data::ProgramFiles files(folder, {wait, {}});
    const data::FileResult written = address ? files.writeLines(files::SiteAddress, {QString::fromStdString(*address)})
                                             : files.replaceFile(files::SiteAddress, {});
    if (!written.ok())
        leaveNoAddress(files.path(files::SiteAddress));
    const int status = !written.ok() ? 2 : address ? 0 : 1;
    // The lookup's thread may still be inside the resolver: no clean-up
    // should run under it.
    if (late)
        std::_Exit(status);
    return status;
}
