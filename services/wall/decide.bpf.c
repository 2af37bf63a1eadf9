// Decides each new connection of a guarded user's programs inside the
// connect() or sendmsg() call, by the program that makes it: the inode of
// the running executable, which no process can lie about. Only connections
// of the service's own network namespace are decided; others pass, so two
// services in two namespaces never decide for each other. What userspace
// must hear of (a refusal, an unknown program) goes out on a ring buffer, at
// most once per program per minute.
#include "vmlinux.h"

#include <bpf/bpf_core_read.h>
#include <bpf/bpf_endian.h>
#include <bpf/bpf_helpers.h>

#include "decide.h"

#define AF_INET 2
#define AF_INET6 10

const volatile __u64 netns_cookie = 0;

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, WALL_MAX_USERS);
    __type(key, __u32); // uid
    __type(value, __u32); // WALL_USER_*
} users SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, WALL_MAX_PROGRAMS);
    __type(key, struct wall_program);
    __type(value, __u32); // WALL_ALLOW or WALL_REFUSE
} programs SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __uint(max_entries, WALL_MAX_QUARANTINED);
    __type(key, struct wall_named);
    __type(value, __u32);
} quarantined SEC(".maps");

// When each program was last told of, by kind, so a busy one raises one
// alert a minute.
struct {
    __uint(type, BPF_MAP_TYPE_LRU_HASH);
    __uint(max_entries, WALL_MAX_PROGRAMS);
    __type(key, struct wall_program);
    __type(value, __u64);
} noticed SEC(".maps");

struct {
    __uint(type, BPF_MAP_TYPE_RINGBUF);
    __uint(max_entries, 256 * 1024);
} events SEC(".maps");

#define NOTICE_EVERY_NS (60ULL * 1000 * 1000 * 1000)

struct {
    __uint(type, BPF_MAP_TYPE_PERCPU_ARRAY);
    __uint(max_entries, 1);
    __type(key, __u32);
    __type(value, struct wall_event);
} scratch SEC(".maps");

// Where the walk up the executable's path is.
struct walk {
    struct dentry* dentry;
    struct vfsmount* vfsmount;
    struct mount* mount;
};

// One step of the walk up from the executable's name to the root, crossing
// mounts; the process may be gone by the time anyone could look at /proc.
// A loop of its own (bpf_loop), so the verifier looks at one step only.
static long walk_step(__u32 index, void* context)
{
    struct walk* walk = context;
    const __u32 zero = 0;
    struct wall_event* event = bpf_map_lookup_elem(&scratch, &zero);
    if (!event)
        return 1;
    struct dentry* dentry = walk->dentry;
    struct vfsmount* vfsmount = walk->vfsmount;
    struct mount* mount = walk->mount;
    struct dentry* parent = BPF_CORE_READ(dentry, d_parent);
    if (dentry == BPF_CORE_READ(vfsmount, mnt_root) || dentry == parent) {
        struct mount* above = BPF_CORE_READ(mount, mnt_parent);
        if (above == mount)
            return 1;
        walk->dentry = BPF_CORE_READ(mount, mnt_mountpoint);
        walk->mount = above;
        walk->vfsmount = (struct vfsmount*)__builtin_preserve_access_index(&above->mnt);
        return 0;
    }
    if (event->depth >= WALL_PATH_DEPTH) {
        event->truncated = 1;
        return 1;
    }
    const unsigned char* name = BPF_CORE_READ(dentry, d_name.name);
    bpf_probe_read_kernel_str(event->names[event->depth & (WALL_PATH_DEPTH - 1)], WALL_NAME_LENGTH, name);
    event->depth += 1;
    walk->dentry = parent;
    return 0;
}

// The family is a constant at each hook: a v4 hook may not read v6 fields.
static __always_inline void tell(
    struct bpf_sock_addr* ctx, const int family, const struct wall_program* program, struct file* exe, __u32 kind)
{
    const __u64 now = bpf_ktime_get_ns();
    struct wall_program told = *program;
    told.kind = kind;
    const __u64* last = bpf_map_lookup_elem(&noticed, &told);
    if (last && now - *last < NOTICE_EVERY_NS)
        return;
    bpf_map_update_elem(&noticed, &told, &now, BPF_ANY);
    const __u32 zero = 0;
    struct wall_event* event = bpf_map_lookup_elem(&scratch, &zero);
    if (!event)
        return;
    event->program = *program;
    event->pid = bpf_get_current_pid_tgid() >> 32;
    event->kind = kind;
    event->family = family;
    event->port = bpf_ntohs((__u16)ctx->user_port);
    event->truncated = 0;
    event->depth = 0;
    __builtin_memset(event->address, 0, sizeof event->address);
    if (family == AF_INET) {
        const __u32 ip = ctx->user_ip4;
        __builtin_memcpy(event->address, &ip, 4);
    } else {
        // Each word read on its own: the verifier allows no offset on ctx.
        const __u32 words[4] = {ctx->user_ip6[0], ctx->user_ip6[1], ctx->user_ip6[2], ctx->user_ip6[3]};
        __builtin_memcpy(event->address, words, 16);
    }
    bpf_get_current_comm(event->comm, sizeof event->comm);
    struct walk walk = {.dentry = BPF_CORE_READ(exe, f_path.dentry), .vfsmount = BPF_CORE_READ(exe, f_path.mnt)};
    // Relocated like every field read: the kernel's layout may differ from
    // the one compiled against.
    walk.mount = (struct mount*)((char*)walk.vfsmount - bpf_core_field_offset(struct mount, mnt));
    bpf_loop(2 * WALL_PATH_DEPTH, walk_step, &walk, 0);
    bpf_ringbuf_output(&events, event, sizeof *event, 0);
}

static __always_inline int is_loopback(struct bpf_sock_addr* ctx, const int family)
{
    if (family == AF_INET)
        return (bpf_ntohl(ctx->user_ip4) >> 24) == 127;
    return ctx->user_ip6[0] == 0 && ctx->user_ip6[1] == 0 && ctx->user_ip6[2] == 0 &&
        ctx->user_ip6[3] == bpf_htonl(1);
}

// The process list compares names without regard to ASCII case.
static int is_quarantined(__u32 uid)
{
    struct wall_named named = {.uid = uid};
    bpf_get_current_comm(named.name, sizeof named.name);
    for (int i = 0; i < WALL_COMM_LENGTH; ++i)
        if (named.name[i] >= 'A' && named.name[i] <= 'Z')
            named.name[i] += 'a' - 'A';
    return bpf_map_lookup_elem(&quarantined, &named) != 0;
}

static __always_inline int decide(struct bpf_sock_addr* ctx, const int family)
{
    if (netns_cookie && bpf_get_netns_cookie(ctx) != netns_cookie)
        return 1;
    const __u32 uid = (__u32)bpf_get_current_uid_gid();
    const __u32* user = bpf_map_lookup_elem(&users, &uid);
    if (!user)
        return 1;
    struct task_struct* task = bpf_get_current_task_btf();
    struct file* exe = BPF_CORE_READ(task, mm, exe_file);
    if (!exe)
        return 1; // a kernel thread
    struct wall_program program = {.uid = uid};
    program.ino = BPF_CORE_READ(exe, f_inode, i_ino);
    program.dev = BPF_CORE_READ(exe, f_inode, i_sb, s_dev);
    if ((*user & WALL_USER_QUARANTINE) && is_quarantined(uid)) {
        tell(ctx, family, &program, exe, WALL_EVENT_QUARANTINED);
        return 0;
    }
    if (is_loopback(ctx, family))
        return 1;
    const __u32* verdict = bpf_map_lookup_elem(&programs, &program);
    if (verdict) {
        if (*verdict == WALL_ALLOW)
            return 1;
        tell(ctx, family, &program, exe, WALL_EVENT_REFUSED);
        return 0;
    }
    if (*user & WALL_USER_REFUSE_UNKNOWN) {
        tell(ctx, family, &program, exe, WALL_EVENT_UNKNOWN_REFUSED);
        return 0;
    }
    tell(ctx, family, &program, exe, WALL_EVENT_UNKNOWN_ALLOWED);
    return 1;
}

SEC("cgroup/connect4")
int connect4(struct bpf_sock_addr* ctx) { return decide(ctx, AF_INET); }

SEC("cgroup/connect6")
int connect6(struct bpf_sock_addr* ctx) { return decide(ctx, AF_INET6); }

SEC("cgroup/sendmsg4")
int sendmsg4(struct bpf_sock_addr* ctx) { return decide(ctx, AF_INET); }

SEC("cgroup/sendmsg6")
int sendmsg6(struct bpf_sock_addr* ctx) { return decide(ctx, AF_INET6); }

char LICENSE[] SEC("license") = "GPL";
