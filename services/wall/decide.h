/* What the connection hook and the service share: the maps' keys and
 * values and the events. Plain C, for the BPF side too. */
#ifndef CORVATEK_WALL_DECIDE_H
#define CORVATEK_WALL_DECIDE_H

#ifndef __VMLINUX_H__
#include <linux/types.h>
#endif

#define WALL_MAX_USERS 256
#define WALL_MAX_PROGRAMS 16384
#define WALL_MAX_QUARANTINED 1024
#define WALL_COMM_LENGTH 16
#define WALL_PATH_DEPTH 16 /* a power of two */
#define WALL_NAME_LENGTH 128

/* users: how a guarded user's programs are decided. */
#define WALL_USER_GUARDED 1u
#define WALL_USER_REFUSE_UNKNOWN 2u
#define WALL_USER_QUARANTINE 4u /* some of the user's programs are quarantined */

/* programs: the rule for one executable of one user. */
#define WALL_ALLOW 1u
#define WALL_REFUSE 2u

#define WALL_EVENT_REFUSED 1u
#define WALL_EVENT_UNKNOWN_REFUSED 2u
#define WALL_EVENT_UNKNOWN_ALLOWED 3u
#define WALL_EVENT_QUARANTINED 4u

struct wall_program {
    __u64 dev; /* the kernel's encoding: major << 20 | minor */
    __u64 ino;
    __u32 uid;
    __u32 kind; /* in `noticed` the event's, so each kind is told once; else 0 */
};

struct wall_named {
    __u32 uid;
    char name[WALL_COMM_LENGTH]; /* lower case, cut as the kernel cuts it */
};

struct wall_event {
    struct wall_program program;
    __u32 pid;
    __u32 kind;
    __u16 family;
    __u16 port;
    __u8 address[16];
    char comm[WALL_COMM_LENGTH];
    __u32 depth; /* names[0] is the file's own name, then its folders up */
    __u32 truncated;
    char names[WALL_PATH_DEPTH][WALL_NAME_LENGTH];
};

#endif
