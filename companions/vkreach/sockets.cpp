#include "sockets.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvatek::vkreach {
namespace {

// The kernel hands a dump out in pieces no larger than this.
constexpr std::size_t kPieceSize = 32768;
// A dump the kernel marks as changed while it was made is asked for again,
// this many times at most; the last one is taken as it is.
constexpr int kDumpTries = 3;

bool isTcp(Kind kind)
{
    return kind == Kind::Tcp || kind == Kind::Tcp6;
}

bool isSix(Kind kind)
{
    return kind == Kind::Tcp6 || kind == Kind::Udp6;
}

} // namespace

std::string_view kindText(Kind kind)
{
    switch (kind) {
    case Kind::Tcp: return "tcp";
    case Kind::Tcp6: return "tcp6";
    case Kind::Udp: return "udp";
    case Kind::Udp6: break;
    }
    return "udp6";
}

SocketLister::~SocketLister()
{
    if (fd_ >= 0)
        ::close(fd_);
}

Listing SocketLister::list()
{
    Listing listing;
    for (const Kind kind : kKinds)
        listing.failed[std::size_t(kind)] = dump(kind, listing.sockets);
    return listing;
}

std::optional<std::string> SocketLister::dump(Kind kind, std::vector<Socket>& into)
{
    alignas(nlmsghdr) static char piece[kPieceSize];
    const std::size_t start = into.size();
    for (int attempt = 1;; ++attempt) {
        if (fd_ < 0) {
            fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
            if (fd_ < 0)
                return std::strerror(errno);
        }
        struct {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message {};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        message.header.nlmsg_seq = ++sequence_;
        message.request.sdiag_family = isSix(kind) ? AF_INET6 : AF_INET;
        message.request.sdiag_protocol = isTcp(kind) ? IPPROTO_TCP : IPPROTO_UDP;
        // A UDP socket that only sends has connected; one that waits for
        // anyone's datagrams stays in the closed state.
        message.request.idiag_states = isTcp(kind) ? 1U << TCP_LISTEN : 1U << TCP_CLOSE;
        sockaddr_nl kernel {};
        kernel.nl_family = AF_NETLINK;

        int error = 0;
        bool interrupted = false;
        bool done = false;
        ssize_t sent;
        do {
            sent =
                ::sendto(fd_, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0)
            error = errno;
        while (error == 0 && !done) {
            iovec segment {piece, sizeof piece};
            msghdr header {};
            header.msg_iov = &segment;
            header.msg_iovlen = 1;
            const ssize_t got = ::recvmsg(fd_, &header, 0);
            if (got < 0) {
                if (errno != EINTR)
                    error = errno;
                continue;
            }
            if (got == 0 || (header.msg_flags & MSG_TRUNC)) {
                error = EMSGSIZE;
                continue;
            }
            auto left = static_cast<unsigned>(got);
            for (auto* part = reinterpret_cast<nlmsghdr*>(piece); NLMSG_OK(part, left); part = NLMSG_NEXT(part, left)) {
                if (part->nlmsg_seq != sequence_)
                    continue; // the rest of an earlier dump given up on
                if (part->nlmsg_flags & NLM_F_DUMP_INTR)
                    interrupted = true;
                if (part->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    break;
                }
                if (part->nlmsg_type == NLMSG_ERROR) {
                    const auto* failure = static_cast<const nlmsgerr*>(NLMSG_DATA(part));
                    error = part->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) && failure->error < 0 ? -failure->error
                                                                                                    : EPROTO;
                    break;
                }
                if (part->nlmsg_type != SOCK_DIAG_BY_FAMILY || part->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                    continue;
                const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(part));
                into.push_back({kind, ntohs(found->id.idiag_sport), found->idiag_inode});
            }
        }
        if (error != 0) {
            into.resize(start);
            // Whatever the kernel still had to say is dropped with the socket.
            ::close(fd_);
            fd_ = -1;
            return std::strerror(error);
        }
        if (!interrupted || attempt == kDumpTries)
            return std::nullopt;
        into.resize(start);
    }
}

} // namespace corvatek::vkreach
