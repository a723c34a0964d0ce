// One rtnetlink socket: dumps, single requests with their ack, and pipelined requests whose
// acks are matched by sequence number. The socket belongs to the network namespace of the thread
// that opened it, whichever thread uses it later. Not thread-safe: the owner serialises calls.
#pragma once

#include <linux/netlink.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/rtnl_records.h"

struct mnl_socket;

namespace nicops::platform::linux_host {

class NetlinkSocket {
public:
    using MessageHandler = std::function<void(const nlmsghdr*)>;
    // Writes request number `i` at `buffer` (kMaxRequestSize bytes) with sequence `seq`.
    using RequestBuilder = std::function<nlmsghdr*(void* buffer, std::uint32_t seq, std::size_t i)>;

    // nullptr when no rtnetlink socket can be opened.
    static std::unique_ptr<NetlinkSocket> open();
    ~NetlinkSocket();
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    std::uint32_t nextSeq() { return ++seq_; }

    // Sends a dump request and hands every message of the answer to `onMessage`. A dump that
    // the kernel flags as interrupted (the table changed under it) is started again, a few
    // times at most; before a new start `onMessage` gets nullptr: drop what was collected.
    // 0 or a positive errno.
    int dump(const std::function<nlmsghdr*(void* buffer, std::uint32_t seq)>& build,
             const MessageHandler& onMessage);

    // Sends one request and waits for its ack; replies before the ack go to `onReply`.
    // 0 or a positive errno.
    int request(const nlmsghdr* message, const MessageHandler& onReply = {});

    // Sends `count` requests, as many per send as the receive buffer can ack, and returns the
    // errno of each (0 = done), matched to its request by sequence number.
    std::vector<int> pipeline(std::size_t count, const RequestBuilder& build);

    // Requests per send in pipeline(): at most 256, fewer when the receive buffer is small.
    std::size_t batchLimit() const { return batchLimit_; }

private:
    explicit NetlinkSocket(mnl_socket* socket);
    int receiveInto(std::vector<char>& buffer, std::size_t* received);
    // Receives one buffer and hands its messages to onPart until it returns false. 0 or an
    // errno.
    int receiveEach(const std::function<bool(const nlmsghdr*)>& onPart);

    mnl_socket* socket_;
    std::uint32_t seq_ = 0;
    std::size_t batchLimit_ = 256;
    std::vector<char> receiveBuffer_;
};

// The namespace's tables as records; nullopt when the dump fails.
std::optional<std::vector<LinkRecord>> dumpLinks(NetlinkSocket& socket);
// IPv4 addresses of one link, or of every link when `index` is 0.
std::optional<std::vector<AddressRecord>> dumpAddresses(NetlinkSocket& socket, std::uint32_t index);
std::optional<std::vector<DefaultRoute>> dumpDefaultRoutes(NetlinkSocket& socket);

}  // namespace nicops::platform::linux_host
