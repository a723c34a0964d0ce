#include "platform/windows/icmp_probe_windows.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <numeric>
#include <unordered_map>

#include "platform/ipv4_text.h"

namespace nicops::platform::windows {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxTimeoutMs = 3600 * 1000;
// The platform ends every request at its time-out; a batch waits this much longer for the
// completions before it gives up on the rest.
constexpr int kGraceMs = 2000;
// Requests in flight at once: a longer batch sends the next one as the oldest completes. Wine
// (8.0) takes 256 at a time and ends the rest at once with neither reply nor error; a request
// so refused is sent once more later.
constexpr std::size_t kMaxInFlight = 192;
// The echo request carries no data. The reply buffer holds one reply, the 8 bytes of an ICMP
// error message, the status block of the asynchronous call and room for IP options.
constexpr DWORD kReplyBytes = sizeof(ICMP_ECHO_REPLY) + 8 + 2 * sizeof(void*) + 64;

}  // namespace

struct IcmpEchoProbe::Request {
    IPAddr address = 0;  // network byte order
    HANDLE event = nullptr;
    // 8-byte units, so the reply record that the platform writes at its start is aligned.
    std::array<std::uint64_t, (kReplyBytes + 7) / 8> reply{};
    bool pending = false;
    bool refused = false;  // ended with neither a reply nor an error: never sent
    bool resent = false;
    Clock::time_point sentAt{};
    std::int32_t roundTrip = -1;

    ~Request() {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }

    DWORD replySize() const { return static_cast<DWORD>(reply.size() * sizeof reply[0]); }

    // Reads the reply buffer once the platform has filled it.
    void readReply(int timeoutMs) {
        pending = false;
        const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
        if (IcmpParseReplies(reply.data(), replySize()) == 0) {
            // Timed out, or an error the platform reports in the status.
            refused = echo->Status == IP_SUCCESS;
            return;
        }
        // An unreachable or time-exceeded answer comes from a router, not the probed host.
        if (echo->Status == IP_SUCCESS && echo->Address == address &&
            echo->RoundTripTime <= static_cast<ULONG>(timeoutMs)) {
            roundTrip = static_cast<std::int32_t>(echo->RoundTripTime);
        }
    }
};

std::unique_ptr<IcmpEchoProbe> IcmpEchoProbe::open() {
    HANDLE handle = IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<IcmpEchoProbe>(new IcmpEchoProbe(handle));
}

IcmpEchoProbe::IcmpEchoProbe(void* handle) : handle_(handle) {}

IcmpEchoProbe::~IcmpEchoProbe() {
    // Closing the handle ends what is still in flight; a buffer whose request never reports
    // its end is left allocated rather than freed under the platform's hands.
    IcmpCloseHandle(handle_);
    for (auto& request : abandoned_) {
        if (WaitForSingleObject(request->event, 100) != WAIT_OBJECT_0) {
            (void)request.release();
        }
    }
}

void IcmpEchoProbe::reapAbandoned() {
    std::erase_if(abandoned_, [](const std::unique_ptr<Request>& request) {
        return WaitForSingleObject(request->event, 0) == WAIT_OBJECT_0;
    });
}

std::vector<std::int32_t> IcmpEchoProbe::probeAddresses(const std::vector<std::string>& addresses,
                                                        int timeoutMs) {
    std::vector<std::int32_t> results(addresses.size(), -1);
    std::lock_guard lock(mutex_);
    reapAbandoned();
    timeoutMs = std::clamp(timeoutMs, 1, kMaxTimeoutMs);

    // One request per distinct address; repeats share its answer.
    std::vector<std::unique_ptr<Request>> requests;
    std::vector<std::size_t> requestOf(addresses.size(), SIZE_MAX);
    std::unordered_map<std::uint32_t, std::size_t> byAddress;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const auto parsed = parseIpv4(addresses[i]);
        if (!parsed) {
            continue;
        }
        const auto [it, added] = byAddress.emplace(*parsed, requests.size());
        if (added) {
            auto request = std::make_unique<Request>();
            request->address = htonl(*parsed);
            requests.push_back(std::move(request));
        }
        requestOf[i] = it->second;
    }

    // Waits for one request's end, at most until its own time-out and the grace have passed.
    const auto finish = [&](Request& request) {
        const auto deadline = request.sentAt + std::chrono::milliseconds(timeoutMs) +
                              std::chrono::milliseconds(kGraceMs);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const DWORD waitMs = static_cast<DWORD>(std::max<std::int64_t>(0, left.count()));
        if (WaitForSingleObject(request.event, waitMs) == WAIT_OBJECT_0) {
            request.readReply(timeoutMs);
        }
    };

    char noData[1] = {};  // the request carries no data, through a valid pointer
    std::deque<std::size_t> toSend(requests.size());
    std::iota(toSend.begin(), toSend.end(), std::size_t{0});
    std::deque<std::size_t> inFlight;  // in the order they were sent
    // A refused request goes to the end of the queue, once.
    const auto requeueIfRefused = [&](std::size_t index) {
        Request& request = *requests[index];
        if (request.refused && !request.resent) {
            request.refused = false;
            request.resent = true;
            toSend.push_back(index);
        }
    };
    while (!toSend.empty() || !inFlight.empty()) {
        if (toSend.empty() || inFlight.size() >= kMaxInFlight) {
            const std::size_t oldest = inFlight.front();
            inFlight.pop_front();
            finish(*requests[oldest]);
            requeueIfRefused(oldest);
            continue;
        }
        const std::size_t index = toSend.front();
        toSend.pop_front();
        Request& request = *requests[index];
        if (request.event == nullptr) {
            request.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (request.event == nullptr) {
                continue;
            }
        } else {
            ResetEvent(request.event);
        }
        request.sentAt = Clock::now();
        const DWORD replies = IcmpSendEcho2(
            handle_, request.event, nullptr, nullptr, request.address, noData, 0, nullptr,
            request.reply.data(), request.replySize(), static_cast<DWORD>(timeoutMs));
        if (replies != 0) {
            request.readReply(timeoutMs);  // answered at once
        } else if (GetLastError() == ERROR_IO_PENDING) {
            request.pending = true;
            inFlight.push_back(index);
        }
        // Any other failure (no route, no resources) is no answer.
    }

    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (requestOf[i] != SIZE_MAX) {
            results[i] = requests[requestOf[i]]->roundTrip;
        }
    }
    for (auto& request : requests) {
        if (request->pending) {
            abandoned_.push_back(std::move(request));
        }
    }
    return results;
}

}  // namespace nicops::platform::windows
