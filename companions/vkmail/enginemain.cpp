// vkmailscan.exe: the mail filter's own engine, for when the guard service
// does not scan. vkmail.exe starts it with the language code, its own
// process id and one socket of a socket pair per channel; it loads the
// signatures as the scanner does, says how that went, then answers the
// guard service's scan requests on each socket, a thread per socket. It
// ends with vkmail.exe; a message that makes libclamav fail ends only it.
#include "enginelink.h"

#include "scanning/guardprotocol.h"
#include "vkprobe/engine.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace corvatek;
namespace guard = corvatek::scanning::guard;

namespace {

template<typename Number> bool readNumber(const char* text, Number& number)
{
    const std::string_view view(text);
    return !view.empty() &&
        std::from_chars(view.data(), view.data() + view.size(), number).ptr == view.data() + view.size();
}

guard::Answer verdict(const probe::Engine& engine, int fd)
{
    const auto error = [](std::string_view reason) {
        return guard::Answer {guard::Answer::Error, 0, std::string(reason)};
    };
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return error(guard::reason::NotRegular);
    if (std::uint64_t(info.st_size) > probe::kMaxFileSize)
        return error(guard::reason::TooLarge);
    const probe::Engine::Verdict found = engine.scan(fd, {});
    switch (found.kind) {
    case probe::Engine::Verdict::Clean: return {guard::Answer::Clean, 0, {}};
    case probe::Engine::Verdict::Found: return {guard::Answer::Found, 0, found.signature};
    case probe::Engine::Verdict::BeyondLimits: return error(guard::reason::BeyondLimits);
    case probe::Engine::Verdict::Failed: break;
    }
    return error(std::string(guard::reason::ScanFailed) + ' ' + found.reason);
}

// One request at a time: the message's descriptor comes with it.
void serve(const probe::Engine& engine, int socket)
{
    for (;;) {
        char text[guard::kMaxMessage + 1];
        iovec segment {text, sizeof text};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr message {};
        message.msg_iov = &segment;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // vkmail.exe went
        std::vector<int> fds;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                fds.push_back(fd);
            }
        }
        const bool asked = !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) && fds.size() == 1 &&
            guard::parseRequest(std::string_view(text, std::size_t(n))) == guard::Request::Scan;
        const guard::Answer answer =
            asked ? verdict(engine, fds.front()) : guard::Answer {guard::Answer::Error, 0, "bad-request"};
        for (const int fd : fds)
            ::close(fd);
        const std::string said = guard::answerText(answer);
        if (::send(socket, said.data(), said.size(), MSG_NOSIGNAL) != ssize_t(said.size()))
            return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    pid_t parent = 0;
    std::vector<int> sockets;
    for (int i = 3; i < argc; ++i) {
        int socket = -1;
        if (!readNumber(argv[i], socket))
            return 2;
        ::fcntl(socket, F_SETFD, FD_CLOEXEC);
        sockets.push_back(socket);
    }
    if (argc < 4 || !readNumber(argv[2], parent))
        return 2;
    // Ends with vkmail.exe, even with a load under way.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return 2;
    const companion::Language language = localisation::languageOfCode(argv[1]).value_or(companion::Language::French);
    // libclamav's large buffers go back to the system when freed.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    const probe::ScratchFolder scratch;
    probe::Engine engine;
    const probe::SignatureLoad load = probe::loadSignatures(engine, scratch.path(), language);
    std::string outcome = load.problem.empty() ? std::string(vkmail::link::kLoaded) + '\0' + load.folder
                                               : std::string(vkmail::link::kFailed) + '\0' + load.problem;
    for (const std::string& note : load.notes)
        outcome += '\0' + note;
    outcome.resize(std::min(outcome.size(), vkmail::link::kMaxOutcome));
    if (::send(sockets.front(), outcome.data(), outcome.size(), MSG_NOSIGNAL) != ssize_t(outcome.size()) ||
        !load.problem.empty())
        return 2;

    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < sockets.size(); ++i)
        threads.emplace_back([&engine, socket = sockets[i]] { serve(engine, socket); });
    serve(engine, sockets.front());
    // The other channels end as vkmail.exe closes them.
    for (std::thread& thread : threads)
        thread.join();
    return 0;
}
