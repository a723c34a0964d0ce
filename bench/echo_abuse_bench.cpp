// nicops-echo under load and abuse, on loopback: well-formed requests answered per second and
// the longest wait of one, first alone (the baseline) and then while other clients press on the
// same server:
//   - a crowd: 1,000 more keep-alive connections, each asking about once a second;
//   - slow-loris: 1,200 connections (more than --max-connections): 700 send a request's headers
//     a byte every second or so and never end them, 500 send a request line and half a header
//     and then nothing; each comes straight back when the server closes it;
//   - malformed: 48 clients sending garbage, headers over 16 KiB, bodies, bad methods and broken
//     request lines, each again 20 ms after it is answered or dropped;
//   - all of them at once.
// The well-formed load is 32 clients asking back to back: 16 keep their connection, 16 open a
// new one for every request as nicops does (their wait includes getting a connection). A wait is
// measured from connect (or from the write, on a kept connection) to the whole answer; a request
// unanswered after 12 s is given up. Every client is this program's own, on one epoll loop, each
// kind from its own block of loopback source addresses. nicops-echo runs with its defaults
// (--max-connections 1024, --timeout 10), the installed location database and its log on
// /dev/null. Prints each phase's figures and their ratio to the baseline, and the baseline
// once more at the end for the machine's own noise.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using nicops::bench::Child;
using nicops::bench::Clock;
using nicops::bench::freePort;
using nicops::bench::waitForListener;
using Ms = std::chrono::milliseconds;

constexpr int kKeptClients = 16;
constexpr int kFreshClients = 16;
constexpr int kCrowd = 1000;
constexpr int kDrips = 700;   // a header byte every 0.5 to 1.5 s, for ever
constexpr int kStalls = 500;  // a few bytes, then nothing until the server gives up
constexpr int kMalformed = 48;
constexpr auto kGiveUp = std::chrono::seconds(12);
constexpr auto kNicopsTimeOut = Ms(1500);  // nicops' default whole-request time-out
constexpr auto kWarmUp = std::chrono::seconds(3);
constexpr auto kMeasure = std::chrono::seconds(5);

constexpr unsigned kMalformedKinds = 7;
const char* const kMalformedNames[kMalformedKinds] = {
    "garbage",     "header over 16 KiB", "GET with a body",    "chunked GET",
    "method BREW", "POST with a form",   "broken request line"};

const std::string kRequest = "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

enum class Role { Kept, Fresh, Crowd, Drip, Stall, Malformed };

struct Client {
    Role role = Role::Kept;
    in_addr_t source = 0;  // host order
    int fd = -1;
    std::string out;
    std::size_t sent = 0;
    std::string in;
    bool waiting = false;  // a request is out and its answer not yet in
    Clock::time_point begun;
    Clock::time_point next = Clock::time_point::max();  // timed action: ask, drip, reconnect
    unsigned variant = 0;
    std::size_t dripped = 0;
};

// What one phase counted; the well-formed figures cover the measured window only.
struct Figures {
    long answered = 0;       // well-formed requests answered 200
    long answeredFresh = 0;  // of which on a new connection
    long stillWaiting = 0;   // well-formed requests waiting over kNicopsTimeOut at the end
    long wrongStatus = 0;    // well-formed requests answered otherwise
    long dropped = 0;        // well-formed requests whose connection closed unanswered
    long givenUp = 0;        // unanswered after kGiveUp
    long overNicopsTimeOut = 0;
    double longestMs = 0;
    bool longestUnanswered = false;  // the longest wait is a request still waiting at the end
    std::vector<double> waitsMs;
    long crowdAnswered = 0;
    long lorisClosedByServer = 0;
    long lorisOpenAtEnd = 0;
    // Per kind of malformed request (kMalformedKinds): sent, answered with a 4xx or 5xx
    // status (the first one seen kept), answered otherwise (should stay 0), closed by the
    // server without an answer.
    long malformedSent[kMalformedKinds] = {};
    long malformedRefused[kMalformedKinds] = {};
    int malformedStatus[kMalformedKinds] = {};
    long malformedAnswered[kMalformedKinds] = {};
    long malformedClosed[kMalformedKinds] = {};
    double seconds = 0;
};

std::string malformedRequest(unsigned variant, std::mt19937& random) {
    switch (variant % kMalformedKinds) {
        case 0: {  // garbage bytes
            std::string junk(200 + random() % 400, '\0');
            for (auto& c : junk) {
                c = static_cast<char>(random() % 256);
            }
            return junk + "\r\n\r\n";
        }
        case 1:  // a header over 16 KiB
            return "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " +
                   std::string(20000, 'a') + "\r\n\r\n";
        case 2:  // a GET with a body
            return "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000"
                   "\r\n\r\n" +
                   std::string(1000, 'b');
        case 3:  // a chunked body
            return "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: "
                   "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
        case 4:  // a method the server has not
            return "BREW /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        case 5:  // POST with a form
            return "POST /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                   "application/x-www-form-urlencoded\r\nContent-Length: 3\r\n\r\nx=1";
        default:  // a broken request line
            return "GET /GetIp/default.aspx HTTP/9.9 extra\r\nHost 127.0.0.1\r\n\r\n";
    }
}

// The header a slow-loris client drips, a byte at a time: a request line and then header
// lines that never end.
char dripByte(std::size_t at) {
    static const std::string head = "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    static const std::string line = "X-Loris: 1\r\n";
    return at < head.size() ? head[at] : line[(at - head.size()) % line.size()];
}

class Load {
public:
    explicit Load(int port) : port_(port), epoll_(epoll_create1(0)) {}
    ~Load() {
        for (auto& c : clients_) {
            closeClient(c, false);
        }
        close(epoll_);
    }

    // Adds `count` clients of a role; their sources are 127.<block>.x.y.
    void add(Role role, int count, unsigned block) {
        for (int i = 0; i < count; ++i) {
            Client c;
            c.role = role;
            c.source = (127u << 24) | (block << 16) | static_cast<unsigned>(1 + i / 250) << 8 |
                       static_cast<unsigned>(1 + i % 250);
            c.variant = static_cast<unsigned>(i);
            c.next = Clock::now() + Ms(random_() % 500);
            clients_.push_back(std::move(c));
        }
    }
    // Closes and forgets every client but the well-formed ones.
    void removeAbusers() {
        for (auto& c : clients_) {
            if (!wellFormed(c)) {
                closeClient(c, false);
            }
        }
        std::erase_if(clients_, [](const Client& c) { return !wellFormed(c); });
    }
    void run(Clock::duration length) {
        const auto end = Clock::now() + length;
        epoll_event events[256];
        while (Clock::now() < end) {
            const int n = epoll_wait(epoll_, events, 256, 5);
            for (int i = 0; i < n; ++i) {
                progress(clients_[events[i].data.u32]);
            }
            const auto now = Clock::now();
            for (auto& c : clients_) {
                if (c.next <= now) {
                    act(c);
                }
                if (wellFormed(c) && c.waiting && now - c.begun > kGiveUp) {
                    ++figures_.givenUp;
                    record(c, now, false);
                    closeClient(c, true);
                    ask(c);
                }
            }
        }
    }
    // Starts counting afresh.
    void beginMeasuring() {
        figures_ = Figures{};
        measuringSince_ = Clock::now();
    }
    Figures finishMeasuring() {
        const auto now = Clock::now();
        figures_.seconds = std::chrono::duration<double>(now - measuringSince_).count();
        for (const auto& c : clients_) {
            if (wellFormed(c) && c.waiting) {
                if (now - c.begun > kNicopsTimeOut) {
                    ++figures_.stillWaiting;
                    ++figures_.overNicopsTimeOut;
                }
                const double waited =
                    std::chrono::duration<double, std::milli>(now - c.begun).count();
                if (waited > figures_.longestMs) {
                    figures_.longestMs = waited;
                    figures_.longestUnanswered = true;
                }
            }
            if ((c.role == Role::Drip || c.role == Role::Stall) && c.fd >= 0) {
                ++figures_.lorisOpenAtEnd;
            }
        }
        return figures_;
    }

private:
    static bool wellFormed(const Client& c) {
        return c.role == Role::Kept || c.role == Role::Fresh;
    }

    std::uint32_t indexOf(const Client& c) const {
        return static_cast<std::uint32_t>(&c - clients_.data());
    }

    bool connectClient(Client& c) {
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (c.fd < 0) {
            return false;
        }
        const int one = 1;
        setsockopt(c.fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
        setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(c.source);
        bind(c.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        if (connect(c.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS) {
            close(c.fd);
            c.fd = -1;
            return false;
        }
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        event.data.u32 = indexOf(c);
        epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
        c.in.clear();
        c.out.clear();
        c.sent = 0;
        c.dripped = 0;
        return true;
    }

    // A reset rather than a close keeps this side from piling up TIME_WAIT sockets.
    void closeClient(Client& c, bool reset) {
        if (c.fd < 0) {
            return;
        }
        if (reset) {
            const linger abort{1, 0};
            setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        close(c.fd);
        c.fd = -1;
    }

    void send(Client& c, std::string text) {
        c.out.erase(0, c.sent);
        c.sent = 0;
        c.out += text;
        progress(c);
    }

    // A well-formed request, on a new connection for the fresh clients and when there is none.
    void ask(Client& c) {
        c.begun = Clock::now();
        c.waiting = true;
        c.next = Clock::time_point::max();
        if (c.role == Role::Fresh) {
            closeClient(c, true);
        }
        if (c.fd < 0 && !connectClient(c)) {
            c.next = Clock::now() + Ms(10);  // no socket now: try again shortly
            return;
        }
        send(c, kRequest);
    }

    void act(Client& c) {
        c.next = Clock::time_point::max();
        switch (c.role) {
            case Role::Kept:
            case Role::Fresh:
            case Role::Crowd:
                ask(c);
                break;
            case Role::Drip:
                if (c.fd < 0 && !connectClient(c)) {
                    c.next = Clock::now() + Ms(100);
                    break;
                }
                send(c, std::string(1, dripByte(c.dripped++)));
                c.next = Clock::now() + Ms(500 + random_() % 1000);
                break;
            case Role::Stall:
                if (c.fd >= 0 || connectClient(c)) {
                    send(c, "GET /GetIp/default.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Sta");
                } else {
                    c.next = Clock::now() + Ms(100);
                }
                break;
            case Role::Malformed:
                if (c.fd >= 0 || connectClient(c)) {
                    c.waiting = true;
                    c.begun = Clock::now();
                    ++figures_.malformedSent[++c.variant % kMalformedKinds];
                    send(c, malformedRequest(c.variant, random_));
                } else {
                    c.next = Clock::now() + Ms(100);
                }
                break;
        }
    }

    void record(Client& c, Clock::time_point now, bool answered) {
        c.waiting = false;
        if (c.begun < measuringSince_) {
            return;
        }
        const double waited = std::chrono::duration<double, std::milli>(now - c.begun).count();
        if (answered) {
            figures_.waitsMs.push_back(waited);
        }
        if (waited > figures_.longestMs) {
            figures_.longestMs = waited;
            figures_.longestUnanswered = !answered;
        }
        if (now - c.begun > kNicopsTimeOut) {
            ++figures_.overNicopsTimeOut;
        }
    }

    // The server closed the connection or reset it.
    void closedByServer(Client& c) {
        closeClient(c, true);
        const auto now = Clock::now();
        switch (c.role) {
            case Role::Kept:
            case Role::Fresh:
                if (c.waiting) {
                    if (c.begun >= measuringSince_) {
                        ++figures_.dropped;
                    }
                    record(c, now, false);
                    ask(c);
                }
                break;
            case Role::Crowd:
                if (c.waiting) {
                    c.waiting = false;
                    c.next = now + Ms(100);
                }
                break;
            case Role::Drip:
            case Role::Stall:
                ++figures_.lorisClosedByServer;
                c.next = now;  // the attacker comes straight back
                break;
            case Role::Malformed:
                if (c.waiting && c.begun >= measuringSince_) {
                    ++figures_.malformedClosed[c.variant % kMalformedKinds];
                }
                c.waiting = false;
                c.next = now + Ms(20);
                break;
        }
    }

    void answered(Client& c, int status) {
        const auto now = Clock::now();
        switch (c.role) {
            case Role::Kept:
            case Role::Fresh:
                if (c.begun >= measuringSince_) {
                    ++(status == 200 ? figures_.answered : figures_.wrongStatus);
                    if (status == 200 && c.role == Role::Fresh) {
                        ++figures_.answeredFresh;
                    }
                }
                record(c, now, true);
                ask(c);
                break;
            case Role::Crowd:
                c.waiting = false;
                ++figures_.crowdAnswered;
                c.next = now + Ms(500 + random_() % 1000);
                break;
            case Role::Malformed:
                c.waiting = false;
                if (c.begun < measuringSince_) {
                    // sent before the window: not counted
                } else if (status >= 400) {
                    const unsigned kind = c.variant % kMalformedKinds;
                    ++figures_.malformedRefused[kind];
                    if (figures_.malformedStatus[kind] == 0) {
                        figures_.malformedStatus[kind] = status;
                    }
                } else {
                    ++figures_.malformedAnswered[c.variant % kMalformedKinds];
                }
                closeClient(c, true);
                c.next = now + Ms(20);
                break;
            case Role::Drip:
            case Role::Stall:
                break;  // the server refused the endless header: closing follows
        }
    }

    // Writes what is pending and reads what arrived; whole answers are taken off `in`.
    void progress(Client& c) {
        if (c.fd < 0) {
            return;
        }
        while (c.sent < c.out.size()) {
            const ssize_t n =
                ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
            if (n > 0) {
                c.sent += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else {
                break;  // refused mid-write: what the server answered is still read below
            }
        }
        char buffer[16384];
        for (;;) {
            const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                c.in.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            }
            takeAnswers(c);
            if (c.fd >= 0) {
                closedByServer(c);
            }
            return;
        }
        takeAnswers(c);
    }

    void takeAnswers(Client& c) {
        for (;;) {
            const auto end = c.in.find("\r\n\r\n");
            if (end == std::string::npos || c.in.compare(0, 5, "HTTP/") != 0) {
                return;
            }
            std::size_t length = 0;
            std::string head = c.in.substr(0, end);
            std::transform(head.begin(), head.end(), head.begin(), ::tolower);
            if (const auto at = head.find("\r\ncontent-length:"); at != std::string::npos) {
                length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
            }
            if (c.in.size() < end + 4 + length) {
                return;
            }
            const int status = std::atoi(c.in.c_str() + 9);
            c.in.erase(0, end + 4 + length);
            const int fd = c.fd;
            answered(c, status);
            if (c.fd != fd) {
                return;  // closed (or a new connection): the rest belonged to the old one
            }
        }
    }

    int port_;
    int epoll_;
    std::vector<Client> clients_;
    std::mt19937 random_{12345};
    Figures figures_;
    Clock::time_point measuringSince_ = Clock::now();
};

double rate(const Figures& f) {
    return f.seconds > 0 ? static_cast<double>(f.answered) / f.seconds : 0;
}

double percentile(std::vector<double> waits, double share) {
    if (waits.empty()) {
        return 0;
    }
    std::sort(waits.begin(), waits.end());
    return waits[std::min(waits.size() - 1, static_cast<std::size_t>(share * waits.size()))];
}

void print(const char* phase, const Figures& f, const Figures* baseline) {
    std::printf("%s\n", phase);
    std::printf(
        "  well-formed: %.0f answered/s (%ld in %.1f s, %ld of them on new connections), "
        "longest wait %s%.1f ms, 99th percentile %.1f ms\n",
        rate(f), f.answered, f.seconds, f.answeredFresh, f.longestUnanswered ? ">= " : "",
        f.longestMs, percentile(f.waitsMs, 0.99));
    std::printf(
        "  well-formed not answered 200: %ld other status, %ld dropped, %ld given up "
        "after 12 s, %ld waiting over 1.5 s at the end; %ld waited over nicops' 1.5 s time-out\n",
        f.wrongStatus, f.dropped, f.givenUp, f.stillWaiting, f.overNicopsTimeOut);
    if (f.crowdAnswered > 0) {
        std::printf("  crowd: %ld answered\n", f.crowdAnswered);
    }
    if (f.lorisClosedByServer > 0 || f.lorisOpenAtEnd > 0) {
        std::printf("  slow-loris: %ld closed by the server, %ld open at the end\n",
                    f.lorisClosedByServer, f.lorisOpenAtEnd);
    }
    for (unsigned kind = 0; kind < kMalformedKinds; ++kind) {
        if (f.malformedSent[kind] > 0) {
            std::printf(
                "  malformed, %s: %ld sent, %ld refused (%d), %ld closed unanswered, %ld "
                "answered otherwise\n",
                kMalformedNames[kind], f.malformedSent[kind], f.malformedRefused[kind],
                f.malformedStatus[kind], f.malformedClosed[kind], f.malformedAnswered[kind]);
        }
    }
    if (baseline != nullptr && rate(*baseline) > 0 && baseline->longestMs > 0) {
        std::printf("  ratio to the baseline: answered/s %.2f, longest wait %.1f\n",
                    rate(f) / rate(*baseline), f.longestMs / baseline->longestMs);
    }
}

// Enough descriptors for every client here and every connection of the server (which inherits
// the limit): about 2,300 each.
bool raiseOpenFileLimit(rlim_t wanted) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur >= wanted) {
        return true;
    }
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

}  // namespace

int main() {
    if (!raiseOpenFileLimit(8192)) {
        std::printf(
            "echo_abuse_bench: cannot raise the open-file limit to 8192; nothing "
            "measured\n");
        return 1;
    }
    const int port = freePort();
    if (port < 0) {
        std::printf("echo_abuse_bench: no free loopback port\n");
        return 1;
    }
    Child echo({NICOPS_ECHO_PATH, "--listen", "127.0.0.1:" + std::to_string(port)});
    if (!echo.started() || !waitForListener(port)) {
        std::printf("echo_abuse_bench: nicops-echo did not start on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf(
        "nicops-echo on 127.0.0.1:%d (--max-connections 1024, --timeout 10); "
        "well-formed load: %d kept + %d fresh connections\n",
        port, kKeptClients, kFreshClients);

    Load load(port);
    load.add(Role::Kept, kKeptClients, 2);
    load.add(Role::Fresh, kFreshClients, 3);
    load.run(std::chrono::seconds(1));
    load.beginMeasuring();
    load.run(kMeasure);
    const Figures baseline = load.finishMeasuring();
    print("baseline: the well-formed load alone", baseline, nullptr);

    struct Phase {
        const char* name;
        bool crowd, loris, malformed;
    };
    const Phase phases[] = {
        {"with 1,000 more connections asking once a second", true, false, false},
        {"with 1,200 slow-loris connections (over --max-connections)", false, true, false},
        {"with 48 clients sending malformed requests", false, false, true},
        {"with all of them at once", true, true, true},
    };
    for (const auto& phase : phases) {
        if (phase.crowd) {
            load.add(Role::Crowd, kCrowd, 4);
        }
        if (phase.loris) {
            load.add(Role::Drip, kDrips, 5);
            load.add(Role::Stall, kStalls, 6);
        }
        if (phase.malformed) {
            load.add(Role::Malformed, kMalformed, 7);
        }
        load.run(kWarmUp);
        load.beginMeasuring();
        load.run(kMeasure);
        print(phase.name, load.finishMeasuring(), &baseline);
        load.removeAbusers();
        load.run(std::chrono::seconds(1));  // the server lets the closed connections go
    }
    // The machine's own noise: the same baseline once more.
    load.beginMeasuring();
    load.run(kMeasure);
    print("baseline again, after the abuse", load.finishMeasuring(), &baseline);
    return 0;
}
