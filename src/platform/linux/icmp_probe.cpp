#include "platform/linux/icmp_probe.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <unordered_map>

#include "platform/ipv4_text.h"

namespace nicops::platform::linux_host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kEchoReply = 0;
constexpr std::size_t kIcmpHeader = 8;
// The payload marks our requests; its content is not checked on the way back.
constexpr std::size_t kPayload = 8;
// Room for the socket buffers: every request waiting for a neighbour to answer its ARP query
// (up to three seconds for a silent address of the local subnet) stays charged to the send
// buffer, and replies pile up while requests are still going out.
constexpr int kPerRequestCharge = 1024;
constexpr int kMinBuffer = 256 * 1024;
constexpr int kMaxBuffer = 32 * 1024 * 1024;
// A request the kernel can't queue for lack of buffers (ENOBUFS) is tried again this often.
constexpr int kRetryMs = 1;
constexpr int kMaxTimeoutMs = 3600 * 1000;

std::uint16_t checksum(const unsigned char* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    }
    if (size % 2 != 0) {
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

void setBuffer(int fd, int option, int forceOption, int bytes) {
    if (::setsockopt(fd, SOL_SOCKET, forceOption, &bytes, sizeof bytes) != 0) {
        (void)::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes);
    }
}

int elapsedMs(Clock::time_point since, Clock::time_point now) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count());
}

struct Target {
    std::uint32_t address;  // network byte order
    std::uint16_t sequence;
    bool sent = false;
    Clock::time_point sentAt{};
    std::int32_t roundTrip = -1;
};

}  // namespace

std::unique_ptr<IcmpProbe> IcmpProbe::open() {
    // A ping socket needs no privilege where net.ipv4.ping_group_range allows the group; the
    // kernel then fills in the identifier and hands this socket only its own replies.
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    bool raw = false;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = fd >= 0;
    }
    if (raw) {
        // Only echo replies; everything else ICMP on the host stays out of this socket.
        icmp_filter filter{};
        filter.data = ~(1U << ICMP_ECHOREPLY);
        (void)::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    if (fd >= 0) {
        int on = 1;
        (void)::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    auto probe = std::unique_ptr<IcmpProbe>(new IcmpProbe(fd, raw));
    std::random_device seed;
    probe->identifier_ = static_cast<std::uint16_t>(seed());
    probe->nextSequence_ = static_cast<std::uint16_t>(seed());
    return probe;
}

IcmpProbe::~IcmpProbe() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::vector<std::int32_t> IcmpProbe::probeAddresses(const std::vector<std::string>& addresses,
                                                    int timeoutMs) {
    std::vector<std::int32_t> results(addresses.size(), -1);
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || addresses.empty()) {
        return results;
    }
    timeoutMs = std::clamp(timeoutMs, 0, kMaxTimeoutMs);

    // One request per distinct address; repeats share its answer.
    std::vector<Target> targets;
    std::vector<std::size_t> targetOf(addresses.size(), SIZE_MAX);
    std::unordered_map<std::uint32_t, std::size_t> byAddress;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const auto parsed = parseIpv4(addresses[i]);
        if (!parsed) {
            continue;
        }
        const std::uint32_t address = htonl(*parsed);  // as the socket addresses hold it
        const auto [it, added] = byAddress.emplace(address, targets.size());
        if (added) {
            targets.push_back({address, nextSequence_++});
        }
        targetOf[i] = it->second;
    }
    if (targets.empty()) {
        return results;
    }
    const int wanted = static_cast<int>(
        std::clamp<std::size_t>(targets.size() * kPerRequestCharge, kMinBuffer, kMaxBuffer));
    setBuffer(fd_, SO_SNDBUF, SO_SNDBUFFORCE, wanted);
    setBuffer(fd_, SO_RCVBUF, SO_RCVBUFFORCE, wanted);

    std::size_t answered = 0;
    std::array<unsigned char, 2048> packet{};
    alignas(cmsghdr) std::array<char, 256> control{};
    // Reads every reply waiting on the socket and credits it to its address.
    const auto drain = [&] {
        for (;;) {
            sockaddr_in from{};
            iovec part{packet.data(), packet.size()};
            msghdr message{};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            const ssize_t n = ::recvmsg(fd_, &message, MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;  // EAGAIN, or a pending socket error now cleared
            }
            Clock::time_point arrived = Clock::now();
            // The reply may have waited in the buffer while requests went out: count from the
            // moment the kernel received it.
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec stamp{};
                    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                    timespec now{};
                    ::clock_gettime(CLOCK_REALTIME, &now);
                    const auto waited = std::chrono::seconds(now.tv_sec - stamp.tv_sec) +
                                        std::chrono::nanoseconds(now.tv_nsec - stamp.tv_nsec);
                    if (waited > Clock::duration::zero()) {
                        arrived -= std::chrono::duration_cast<Clock::duration>(waited);
                    }
                }
            }
            const unsigned char* icmp = packet.data();
            std::size_t size = static_cast<std::size_t>(n);
            std::uint32_t source = from.sin_addr.s_addr;
            if (raw_) {
                // A raw socket hands over the IP header too.
                if (size < sizeof(iphdr)) {
                    continue;
                }
                const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
                if (headerSize < sizeof(iphdr) || size < headerSize) {
                    continue;
                }
                std::memcpy(&source, packet.data() + 12, sizeof source);
                icmp += headerSize;
                size -= headerSize;
            }
            if (size < kIcmpHeader || icmp[0] != kEchoReply || icmp[1] != 0) {
                continue;
            }
            const auto identifier = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
            const auto sequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
            if (raw_ && identifier != identifier_) {
                continue;  // another program's ping
            }
            const auto found = byAddress.find(source);
            if (found == byAddress.end()) {
                continue;
            }
            Target& target = targets[found->second];
            if (!target.sent || target.roundTrip >= 0 || target.sequence != sequence) {
                continue;  // a repeat, or a late reply to an earlier batch
            }
            const int roundTrip = std::max(0, elapsedMs(target.sentAt, arrived));
            if (roundTrip <= timeoutMs) {
                target.roundTrip = roundTrip;
                ++answered;
            }
        }
    };
    // Replies to an earlier batch that came too late must not count now.
    drain();

    std::array<unsigned char, kIcmpHeader + kPayload> request{};
    request[0] = kEchoRequest;
    request[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    request[5] = static_cast<std::uint8_t>(identifier_);
    std::memcpy(request.data() + kIcmpHeader, "nicops\0\0", kPayload);
    Clock::time_point lastSend = Clock::now();
    // A full send buffer drains as earlier requests leave or their neighbours give up (an
    // unanswered ARP query holds its request three seconds); replies keep coming meanwhile.
    // When nothing can be sent for longer than that and one time-out, the rest stays unsent.
    const int patience = std::max(timeoutMs, 3000) + 500;
    bool stalled = false;
    for (Target& target : targets) {
        if (stalled) {
            break;
        }
        request[2] = request[3] = 0;
        request[6] = static_cast<std::uint8_t>(target.sequence >> 8);
        request[7] = static_cast<std::uint8_t>(target.sequence);
        const std::uint16_t sum = checksum(request.data(), request.size());
        request[2] = static_cast<std::uint8_t>(sum >> 8);
        request[3] = static_cast<std::uint8_t>(sum);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = target.address;
        for (;;) {
            if (::sendto(fd_, request.data(), request.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0) {
                target.sent = true;
                target.sentAt = lastSend = Clock::now();
                break;
            }
            const int failed = errno;
            if (failed == EINTR) {
                continue;
            }
            if (failed != EAGAIN && failed != EWOULDBLOCK && failed != ENOBUFS) {
                break;  // unreachable, refused by a filter: no answer for this address
            }
            const int waited = elapsedMs(lastSend, Clock::now());
            if (waited >= patience) {
                stalled = true;
                break;
            }
            pollfd wait{fd_, static_cast<short>(failed == ENOBUFS ? POLLIN : POLLIN | POLLOUT), 0};
            const int waitMs = failed == ENOBUFS ? kRetryMs : std::min(100, patience - waited);
            if (::poll(&wait, 1, waitMs) > 0 && (wait.revents & POLLIN) != 0) {
                drain();
            }
        }
        if (target.sent && (target.sequence & 0x3F) == 0) {
            drain();  // keep the receive buffer from overflowing during a long batch
        }
    }

    const Clock::time_point deadline = lastSend + std::chrono::milliseconds(timeoutMs);
    const std::size_t expected = static_cast<std::size_t>(
        std::count_if(targets.begin(), targets.end(), [](const Target& t) { return t.sent; }));
    for (;;) {
        drain();
        const Clock::time_point now = Clock::now();
        if (answered >= expected || now >= deadline) {
            break;
        }
        pollfd wait{fd_, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        (void)::poll(&wait, 1, static_cast<int>(left));
    }

    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (targetOf[i] != SIZE_MAX) {
            results[i] = targets[targetOf[i]].roundTrip;
        }
    }
    return results;
}

}  // namespace nicops::platform::linux_host
