#include "platform/linux/netlink_socket.h"

#include <libmnl/libmnl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

namespace {

// Large enough for any dump part: the kernel fills dump parts of at most 32 KiB unless a single
// message needs more.
constexpr std::size_t kReceiveBufferSize = 256 * 1024;
// Receive buffer asked for, so one pipelined send of 256 requests can queue all its acks.
constexpr int kSocketReceiveBuffer = 4 * 1024 * 1024;
// Upper bound of the kernel's memory charge for one queued ack.
constexpr std::size_t kAckCharge = 2048;
constexpr std::size_t kMaxBatch = 256;
constexpr int kDumpAttempts = 4;

void setFlag(mnl_socket* socket, int option) {
    int on = 1;
    // Older kernels lack some options; the backend works without them.
    (void)mnl_socket_setsockopt(socket, option, &on, sizeof on);
}

}  // namespace

std::unique_ptr<NetlinkSocket> NetlinkSocket::open() {
    mnl_socket* socket = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC);
    if (socket == nullptr) {
        return nullptr;
    }
    if (mnl_socket_bind(socket, 0, MNL_SOCKET_AUTOPID) < 0) {
        mnl_socket_close(socket);
        return nullptr;
    }
    return std::unique_ptr<NetlinkSocket>(new NetlinkSocket(socket));
}

NetlinkSocket::NetlinkSocket(mnl_socket* socket)
    : socket_(socket), receiveBuffer_(kReceiveBufferSize) {
    setFlag(socket_, NETLINK_CAP_ACK);         // acks without a copy of the request
    setFlag(socket_, NETLINK_GET_STRICT_CHK);  // dump filters in request headers are honoured
    const int fd = mnl_socket_get_fd(socket_);
    int size = kSocketReceiveBuffer;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        (void)setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length) == 0 && granted > 0) {
        batchLimit_ =
            std::clamp<std::size_t>(static_cast<std::size_t>(granted) / kAckCharge, 1, kMaxBatch);
    }
    // The kernel answers every request while it is being sent; a silent socket means trouble,
    // never a slow answer.
    timeval timeout{10, 0};
    (void)setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

NetlinkSocket::~NetlinkSocket() {
    mnl_socket_close(socket_);
}

int NetlinkSocket::receiveInto(std::vector<char>& buffer, std::size_t* received) {
    const ssize_t n = mnl_socket_recvfrom(socket_, buffer.data(), buffer.size());
    if (n < 0) {
        return errno != 0 ? errno : EIO;
    }
    *received = static_cast<std::size_t>(n);
    return 0;
}

int NetlinkSocket::receiveEach(const std::function<bool(const nlmsghdr*)>& onPart) {
    std::size_t received = 0;
    if (int failed = receiveInto(receiveBuffer_, &received)) {
        return failed;
    }
    // Bytes that can't be framed leave the answer incomplete: waiting on would only end in the
    // receive timeout.
    return forEachMessage(receiveBuffer_.data(), received, onPart) ? 0 : EPROTO;
}

int NetlinkSocket::dump(const std::function<nlmsghdr*(void* buffer, std::uint32_t seq)>& build,
                        const MessageHandler& onMessage) {
    // Messages are handed on as they arrive; when the kernel flags the dump as interrupted the
    // handler has seen a possibly inconsistent set, so it is told to start over (nullptr) and
    // the whole dump is repeated.
    alignas(nlmsghdr) char request[kMaxRequestSize];
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t seq = nextSeq();
        const nlmsghdr* message = build(request, seq);
        if (mnl_socket_sendto(socket_, message, message->nlmsg_len) < 0) {
            return errno != 0 ? errno : EIO;
        }
        bool interrupted = false;
        bool done = false;
        int error = 0;
        while (!done) {
            const int failed = receiveEach([&](const nlmsghdr* part) {
                if (part->nlmsg_seq != seq) {
                    return true;  // late answer to an earlier request
                }
                if (part->nlmsg_flags & NLM_F_DUMP_INTR) {
                    interrupted = true;
                }
                if (part->nlmsg_type == NLMSG_DONE || part->nlmsg_type == NLMSG_ERROR) {
                    error = part->nlmsg_type == NLMSG_ERROR ? ackErrno(part) : 0;
                    done = true;
                    return false;
                }
                if (part->nlmsg_type >= NLMSG_MIN_TYPE) {
                    onMessage(part);
                }
                return true;
            });
            if (failed != 0) {
                return failed;
            }
        }
        if (error != 0) {
            return error;
        }
        if (!interrupted || attempt == kDumpAttempts) {
            return 0;
        }
        onMessage(nullptr);
    }
}

int NetlinkSocket::request(const nlmsghdr* message, const MessageHandler& onReply) {
    // The sequence number is the caller's; the ack carries it back.
    const std::uint32_t seq = message->nlmsg_seq;
    if (mnl_socket_sendto(socket_, message, message->nlmsg_len) < 0) {
        return errno != 0 ? errno : EIO;
    }
    bool acked = false;
    int error = 0;
    while (!acked) {
        const int failed = receiveEach([&](const nlmsghdr* part) {
            if (part->nlmsg_seq != seq) {
                return true;
            }
            if (part->nlmsg_type == NLMSG_ERROR) {
                error = ackErrno(part);
                acked = true;
                return false;
            }
            if (part->nlmsg_type >= NLMSG_MIN_TYPE && onReply) {
                onReply(part);
            }
            return true;
        });
        if (failed != 0) {
            return failed;
        }
    }
    return error;
}

std::vector<int> NetlinkSocket::pipeline(std::size_t count, const RequestBuilder& build) {
    constexpr int kUnanswered = -1;
    std::vector<int> results(count, kUnanswered);
    std::vector<char> batch(batchLimit_ * kMaxRequestSize);
    for (std::size_t base = 0; base < count; base += batchLimit_) {
        const std::size_t n = std::min(batchLimit_, count - base);
        const std::uint32_t firstSeq = seq_ + 1;
        std::size_t used = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const nlmsghdr* message = build(batch.data() + used, nextSeq(), base + i);
            used += NLMSG_ALIGN(message->nlmsg_len);
        }
        if (mnl_socket_sendto(socket_, batch.data(), used) < 0) {
            const int failed = errno != 0 ? errno : EIO;
            std::fill(results.begin() + static_cast<std::ptrdiff_t>(base),
                      results.begin() + static_cast<std::ptrdiff_t>(base + n), failed);
            continue;
        }
        std::size_t pending = n;
        while (pending > 0) {
            const int failed = receiveEach([&](const nlmsghdr* part) {
                if (part->nlmsg_type != NLMSG_ERROR) {
                    return true;
                }
                const std::uint32_t offset = part->nlmsg_seq - firstSeq;
                if (offset < n && results[base + offset] == kUnanswered) {
                    results[base + offset] = ackErrno(part);
                    --pending;
                }
                return true;
            });
            if (failed != 0) {
                // Lost acks (ENOBUFS) or a silent socket: the outcome of what is left is unknown.
                for (std::size_t i = base; i < base + n; ++i) {
                    if (results[i] == kUnanswered) {
                        results[i] = failed;
                    }
                }
                break;
            }
        }
    }
    return results;
}

std::optional<std::vector<LinkRecord>> dumpLinks(NetlinkSocket& socket) {
    std::vector<LinkRecord> links;
    const int error = socket.dump(
        [](void* buffer, std::uint32_t seq) { return buildLinkDumpRequest(buffer, seq); },
        [&](const nlmsghdr* message) {
            if (message == nullptr) {
                links.clear();
            } else if (auto link = parseLinkMessage(message)) {
                links.push_back(std::move(*link));
            }
        });
    if (error != 0) {
        return std::nullopt;
    }
    return links;
}

std::optional<std::vector<AddressRecord>> dumpAddresses(NetlinkSocket& socket,
                                                        std::uint32_t index) {
    std::vector<AddressRecord> addresses;
    const int error = socket.dump(
        [index](void* buffer, std::uint32_t seq) {
            return buildAddressDumpRequest(buffer, seq, index);
        },
        [&](const nlmsghdr* message) {
            if (message == nullptr) {
                addresses.clear();
            } else if (auto address = parseAddressMessage(message)) {
                // Kernels without strict dump checking ignore the index filter.
                if (index == 0 || address->index == index) {
                    addresses.push_back(*address);
                }
            }
        });
    if (error != 0) {
        return std::nullopt;
    }
    return addresses;
}

std::optional<std::vector<DefaultRoute>> dumpDefaultRoutes(NetlinkSocket& socket) {
    std::vector<DefaultRoute> routes;
    const int error = socket.dump(
        [](void* buffer, std::uint32_t seq) { return buildRouteDumpRequest(buffer, seq); },
        [&](const nlmsghdr* message) {
            if (message == nullptr) {
                routes.clear();
            } else {
                parseDefaultRoute(message, routes);
            }
        });
    if (error != 0) {
        return std::nullopt;
    }
    return routes;
}

}  // namespace nicops::platform::linux_host
