#include "hooks.h"

#include "common/log.h"
#include "decide.h"
#include "decide.skel.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifndef SO_NETNS_COOKIE
#define SO_NETNS_COOKIE 71
#endif

namespace corvatek::wall {
namespace {

using service::log;
using service::Priority;

// Where the unified cgroup hierarchy is mounted; the hooks go on its root,
// which every process of the machine is under.
std::string cgroupRoot()
{
    std::ifstream mounts("/proc/self/mountinfo");
    std::string found;
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point, word;
        fields >> id >> parent >> device >> root >> point;
        while (fields >> word && word != "-") { }
        std::string type;
        fields >> type;
        if (type == "cgroup2" && root == "/" && (found.empty() || point == "/sys/fs/cgroup"))
            found = point;
    }
    return found;
}

bool netnsCookie(std::uint64_t& cookie)
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    socklen_t size = sizeof cookie;
    const bool ok = probe >= 0 && ::getsockopt(probe, SOL_SOCKET, SO_NETNS_COOKIE, &cookie, &size) == 0;
    if (probe >= 0)
        ::close(probe);
    return ok;
}

int libbpfSays(enum libbpf_print_level level, const char* format, va_list arguments)
{
    if (level != LIBBPF_WARN)
        return 0;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line(text);
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    log(Priority::Warning, "libbpf: " + line);
    return 0;
}

wall_program keyOf(uid_t uid, const ProgramFile& file)
{
    wall_program key {};
    key.uid = uid;
    key.dev = kernelDevice(file.device);
    key.ino = file.inode;
    return key;
}

wall_named namedOf(uid_t uid, const std::string& name)
{
    wall_named key {};
    key.uid = uid;
    for (std::size_t i = 0; i < name.size() && i + 1 < WALL_COMM_LENGTH; ++i)
        key.name[i] = char(std::tolower(static_cast<unsigned char>(name[i])));
    return key;
}

std::uint32_t flagsOf(const ProgramPolicy& policy)
{
    return WALL_USER_GUARDED | (policy.refuseUnknown ? WALL_USER_REFUSE_UNKNOWN : 0u) |
        (policy.quarantined.empty() ? 0u : WALL_USER_QUARANTINE);
}

ConnectionEvent eventOf(const wall_event& raw)
{
    ConnectionEvent event;
    event.kind = ConnectionEvent::Kind(raw.kind);
    event.pid = long(raw.pid);
    event.program = {statDevice(raw.program.dev), raw.program.ino};
    char address[INET6_ADDRSTRLEN] = "";
    ::inet_ntop(raw.family == AF_INET6 ? AF_INET6 : AF_INET, raw.address, address, sizeof address);
    event.address = address;
    event.port = raw.port;
    event.processName.assign(raw.comm, ::strnlen(raw.comm, sizeof raw.comm));
    if (!raw.truncated && raw.depth > 0 && raw.depth <= WALL_PATH_DEPTH)
        for (std::uint32_t i = 0; i < raw.depth; ++i)
            event.path = "/" + std::string(raw.names[i], ::strnlen(raw.names[i], WALL_NAME_LENGTH)) + event.path;
    return event;
}

} // namespace

std::uint64_t kernelDevice(std::uint64_t statDevice)
{
    return (std::uint64_t(major(statDevice)) << 20) | minor(statDevice);
}

std::uint64_t statDevice(std::uint64_t kernelDevice)
{
    return makedev(unsigned(kernelDevice >> 20), unsigned(kernelDevice & 0xfffff));
}

struct ConnectionHooks::State {
    decide_bpf* skeleton = nullptr;
    std::vector<bpf_link*> links;
    ring_buffer* events = nullptr;
    const ConnectionHooks::Told* told = nullptr;

    ~State()
    {
        ring_buffer__free(events);
        for (bpf_link* link : links)
            bpf_link__destroy(link);
        decide_bpf__destroy(skeleton);
    }

    static int received(void* context, void* data, std::size_t size)
    {
        auto* state = static_cast<State*>(context);
        const auto* raw = static_cast<const wall_event*>(data);
        if (size >= sizeof(wall_event) && state->told && raw->kind >= WALL_EVENT_REFUSED &&
            raw->kind <= WALL_EVENT_QUARANTINED)
            (*state->told)(uid_t(raw->program.uid), eventOf(*raw));
        return 0;
    }
};

ConnectionHooks::ConnectionHooks() = default;
ConnectionHooks::~ConnectionHooks() = default;

bool ConnectionHooks::start(std::string& why)
{
    libbpf_set_print(libbpfSays);
    const std::string root = cgroupRoot();
    if (root.empty()) {
        why = "no cgroup2 hierarchy is mounted";
        return false;
    }
    auto state = std::make_unique<State>();
    std::uint64_t cookie = 0;
    if (!netnsCookie(cookie)) {
        why = std::string("the network namespace has no cookie: ") + std::strerror(errno);
        return false;
    }
    state->skeleton = decide_bpf__open();
    if (!state->skeleton) {
        why = std::string("cannot open the connection hooks: ") + std::strerror(errno);
        return false;
    }
    state->skeleton->rodata->netns_cookie = cookie;
    if (const int failed = decide_bpf__load(state->skeleton)) {
        why = std::string("the kernel refused the connection hooks: ") + std::strerror(-failed);
        return false;
    }
    const int cgroup = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (cgroup < 0) {
        why = root + ": " + std::strerror(errno);
        return false;
    }
    for (bpf_program* program : {state->skeleton->progs.connect4, state->skeleton->progs.connect6,
             state->skeleton->progs.sendmsg4, state->skeleton->progs.sendmsg6}) {
        bpf_link* link = bpf_program__attach_cgroup(program, cgroup);
        if (!link) {
            why = "cannot attach to " + root + ": " + std::strerror(errno);
            ::close(cgroup);
            return false;
        }
        state->links.push_back(link);
    }
    ::close(cgroup);
    state->events = ring_buffer__new(bpf_map__fd(state->skeleton->maps.events), State::received, state.get(), nullptr);
    if (!state->events) {
        why = std::string("cannot read the connection events: ") + std::strerror(errno);
        return false;
    }
    state_ = std::move(state);
    applied_.clear();
    return true;
}

void ConnectionHooks::apply(const std::map<uid_t, ProgramPolicy>& policies)
{
    if (!state_)
        return;
    const int users = bpf_map__fd(state_->skeleton->maps.users);
    const int programs = bpf_map__fd(state_->skeleton->maps.programs);
    const int quarantined = bpf_map__fd(state_->skeleton->maps.quarantined);
    const int noticed = bpf_map__fd(state_->skeleton->maps.noticed);
    static const ProgramPolicy none;
    // What goes first, so a program never passes through a moment with
    // neither its old nor its new rule.
    for (const auto& [uid, old] : applied_) {
        const auto now = policies.find(uid);
        const ProgramPolicy& fresh = now == policies.end() ? none : now->second;
        for (const auto& [file, verdict] : old.rules)
            if (!fresh.rules.count(file)) {
                wall_program key = keyOf(uid, file);
                bpf_map_delete_elem(programs, &key);
                // Unknown again: its next connection is told of at once.
                for (key.kind = WALL_EVENT_REFUSED; key.kind <= WALL_EVENT_QUARANTINED; ++key.kind)
                    bpf_map_delete_elem(noticed, &key);
            }
        for (const std::string& name : old.quarantined)
            if (std::find(fresh.quarantined.begin(), fresh.quarantined.end(), name) == fresh.quarantined.end()) {
                const wall_named key = namedOf(uid, name);
                bpf_map_delete_elem(quarantined, &key);
            }
        if (now == policies.end()) {
            const __u32 key = uid;
            bpf_map_delete_elem(users, &key);
        }
    }
    bool full = false;
    for (const auto& [uid, policy] : policies) {
        for (const auto& [file, verdict] : policy.rules) {
            const wall_program key = keyOf(uid, file);
            const __u32 value = verdict == Verdict::Allow ? WALL_ALLOW : WALL_REFUSE;
            full = bpf_map_update_elem(programs, &key, &value, BPF_ANY) != 0 || full;
        }
        const __u32 one = 1;
        for (const std::string& name : policy.quarantined) {
            const wall_named key = namedOf(uid, name);
            full = bpf_map_update_elem(quarantined, &key, &one, BPF_ANY) != 0 || full;
        }
        const __u32 key = uid;
        const __u32 flags = flagsOf(policy);
        full = bpf_map_update_elem(users, &key, &flags, BPF_ANY) != 0 || full;
    }
    if (full)
        log(Priority::Warning, "the per-program tables are full: some programs count as unknown");
    applied_ = policies;
}

int ConnectionHooks::eventDescriptor() const
{
    return state_ ? ring_buffer__epoll_fd(state_->events) : -1;
}

void ConnectionHooks::take(const Told& told)
{
    if (!state_)
        return;
    state_->told = &told;
    ring_buffer__consume(state_->events);
    state_->told = nullptr;
}

} // namespace corvatek::wall
