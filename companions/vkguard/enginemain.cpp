// vkguardscan.exe: the real-time guard client's own engine, for when the
// guard service does not check files. vkguard.exe starts it with a socket
// of a socket pair, the language code and its own process id; it loads the
// signatures as the scanner does, then checks each path it is sent. It
// ends with vkguard.exe, and a file that makes libclamav fail ends only
// this process. Kept apart so that vkguard.exe itself never maps libclamav
// and what it pulls in: the client stays small while the service checks.
#include "enginemessages.h"

#include "vkprobe/engine.h"

#include <cerrno>
#include <csignal>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvatek;

namespace {

bool sendMessage(int socket, const std::string& text)
{
    const std::string sent = text.substr(0, vkguard::engine::kMaxMessage);
    return ::send(socket, sent.data(), sent.size(), MSG_NOSIGNAL) == ssize_t(sent.size());
}

template<typename Number> bool readNumber(const char* text, Number& number)
{
    const std::string_view view(text);
    return !view.empty() && std::from_chars(view.data(), view.data() + view.size(), number).ptr == view.data() + view.size();
}

void check(const probe::Engine& engine, int socket, const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return; // gone again, or no file to read
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && std::uint64_t(info.st_size) <= probe::kMaxFileSize) {
        const probe::Engine::Verdict verdict = engine.scan(fd, path);
        if (verdict.kind == probe::Engine::Verdict::Found)
            sendMessage(socket,
                vkguard::engine::message(
                    {vkguard::engine::kFound, path, verdict.signature, std::to_string(std::int64_t(info.st_mtime))}));
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    int socket = -1;
    pid_t parent = 0;
    if (argc != 4 || !readNumber(argv[1], socket) || !readNumber(argv[3], parent))
        return 2;
    // Ends with the client, even with a load under way.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return 2;
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    const companion::Language language =
        localisation::languageOfCode(argv[2]).value_or(companion::Language::French);
    // libclamav's large buffers go back to the system when freed.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    const probe::ScratchFolder scratch;
    probe::Engine engine;
    const probe::SignatureLoad load = probe::loadSignatures(engine, scratch.path(), language);
    std::string outcome = load.problem.empty()
        ? vkguard::engine::message({vkguard::engine::kLoaded, load.folder, std::to_string(engine.signatureCount())})
        : vkguard::engine::message({vkguard::engine::kFailed, load.problem});
    for (const std::string& note : load.notes)
        outcome += '\0' + note;
    if (!sendMessage(socket, outcome) || !load.problem.empty())
        return 2;

    std::string path(vkguard::engine::kMaxMessage + 1, '\0');
    for (;;) {
        const ssize_t n = ::recv(socket, path.data(), path.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0; // the client went
        if (std::size_t(n) <= vkguard::engine::kMaxMessage)
            check(engine, socket, path.substr(0, std::size_t(n)));
    }
}
