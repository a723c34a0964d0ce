// The public-address lookup of 1,000 local addresses, in a network namespace of their own,
// against nicops-echo in a second namespace. The kernel here may lack netem, so the far end's
// latency comes from a relay in the server's namespace that holds every new connection 5 ms
// before passing it on and every answer 5 ms before returning it (two round trips of a far
// endpoint: the handshake and the request):
//   - `nicopsctl lookup --concurrency 1` (the lookups one after another) and
//     `--concurrency 32` (target: at least 20 times faster), start to exit;
//   - the peer: `curl --interface ADDRESS` run for each of the same addresses one after
//     another, in the same run;
//   - how libcurl binds a connection to a local address on a link carrying 5,000 addresses:
//     the bare address (looked up as an interface name first) against "host!ADDRESS", 1,000
//     requests each, straight to nicops-echo;
//   - the export text of 100,000 addresses built in process (target: 100 ms at most).
// Needs root; prints figures only.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "external/clipboard_export.h"
#include "settings/app_settings.h"

namespace {

namespace fs = std::filesystem;
using nicops::bench::Clock;
using nicops::bench::millisecondsSince;
using nicops::bench::run;
using nicops::bench::timeCommand;

constexpr int kAddresses = 1000;
constexpr int kCrowdedLink = 5000;  // addresses on the link when binding is measured
constexpr const char* kServer = "10.30.255.254";
constexpr int kRelayPort = 8080;  // the relay, where the lookups go
constexpr int kEchoPort = 8081;   // nicops-echo itself, on the same address
constexpr auto kDelay = std::chrono::milliseconds(5);

std::string localAddress(int i) {
    return "10.30." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

// Enters the network namespace `name` (made by `ip netns add`); false when it can't.
bool enterNamespace(const std::string& name) {
    const int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return entered;
}

int connectTo(const char* address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One relayed connection: held kDelay, then joined to nicops-echo; whatever the server sends
// is held kDelay before it goes back.
void relayConnection(int client) {
    std::this_thread::sleep_for(kDelay);
    const int server = connectTo(kServer, kEchoPort);
    if (server >= 0) {
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        char buffer[16384];
        for (bool open = true; open && poll(fds, 2, 10000) > 0;) {
            for (int i = 0; i < 2 && open; ++i) {
                if (fds[i].revents == 0) {
                    continue;
                }
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    open = false;
                    break;
                }
                if (i == 1) {
                    std::this_thread::sleep_for(kDelay);
                }
                open = write(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)) == n;
            }
        }
        close(server);
    }
    close(client);
}

// The relay's process: listens on kServer:kRelayPort in the server's namespace until killed.
[[noreturn]] void runRelay(const std::string& serverNamespace) {
    if (!enterNamespace(
            serverNamespace)) {  // first: a socket belongs to the namespace it is made in
        _exit(1);
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(kRelayPort);
    inet_pton(AF_INET, kServer, &at.sin_addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        listen(listener, 1024) != 0) {
        _exit(1);
    }
    for (;;) {
        const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            std::thread(relayConnection, client).detach();
        }
    }
}

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

// In the client's namespace: `count` requests straight to nicops-echo, each bound to its own
// local address written as `prefix` + address; wall time in ms (-1 when one failed).
double timeBinding(const std::string& clientNamespace, const std::string& prefix, int count) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        double elapsed = -1;
        if (enterNamespace(clientNamespace)) {
            CURL* h = curl_easy_init();
            const std::string url = "http://" + std::string(kServer) + ":" +
                                    std::to_string(kEchoPort) + "/GetIp/default.aspx";
            curl_easy_setopt(h, CURLOPT_URL, url.c_str());
            curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
            curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &discardBody);
            const auto start = Clock::now();
            bool ok = true;
            for (int i = 0; i < count && ok; ++i) {
                const std::string bind = prefix + localAddress(i);
                curl_easy_setopt(h, CURLOPT_INTERFACE, bind.c_str());
                ok = curl_easy_perform(h) == CURLE_OK;
            }
            elapsed = ok ? millisecondsSince(start) : -1;
            curl_easy_cleanup(h);
        }
        const ssize_t written = write(pipeEnds[1], &elapsed, sizeof elapsed);
        _exit(written == sizeof elapsed ? 0 : 1);
    }
    close(pipeEnds[1]);
    double elapsed = -1;
    if (read(pipeEnds[0], &elapsed, sizeof elapsed) != sizeof elapsed) {
        elapsed = -1;
    }
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return elapsed;
}

struct Lab {
    std::string client = "nicops-test-lookup-c-" + std::to_string(getpid());
    std::string server = "nicops-test-lookup-s-" + std::to_string(getpid());
    bool created = false;
    pid_t echo = -1;
    pid_t relay = -1;

    Lab() {
        created =
            run("ip netns add " + client) == 0 && run("ip netns add " + server) == 0 &&
            run("ip -n " + client + " link add lk0 type veth peer name lk1 netns " + server) == 0 &&
            run("ip -n " + client + " link set lk0 up") == 0 &&
            run("ip -n " + server + " link set lk1 up") == 0 &&
            run("ip -n " + server + " link set lo up") == 0 &&
            run("ip -n " + server + " addr add " + kServer + "/16 dev lk1") == 0;
    }
    ~Lab() {
        for (const pid_t child : {relay, echo}) {
            if (child > 0) {
                kill(child, SIGTERM);
                waitpid(child, nullptr, 0);
            }
        }
        run("ip netns del " + client + " 2>/dev/null");
        run("ip netns del " + server + " 2>/dev/null");
    }
};

}  // namespace

int main() {
    if (geteuid() != 0) {
        std::printf("lookup_bench: needs root to create network namespaces; nothing measured\n");
        return 0;
    }
    const fs::path work = fs::temp_directory_path() / ("nicops-lookup-" + std::to_string(getpid()));
    fs::create_directories(work);
    Lab lab;
    if (!lab.created) {
        std::printf("lookup_bench: could not set up the namespaces\n");
        fs::remove_all(work);
        return 1;
    }
    {
        std::ofstream batch(work / "adds.batch");
        for (int i = 0; i < kAddresses; ++i) {
            batch << "addr add " << localAddress(i) << "/16 dev lk0\n";
        }
    }
    run("ip -n " + lab.client + " -batch " + (work / "adds.batch").string());

    lab.echo = fork();
    if (lab.echo == 0) {
        freopen("/dev/null", "w", stderr);  // one log line per request
        const std::string listen = std::string(kServer) + ":" + std::to_string(kEchoPort);
        execlp("ip", "ip", "netns", "exec", lab.server.c_str(), NICOPS_ECHO_PATH, "--listen",
               listen.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    lab.relay = fork();
    if (lab.relay == 0) {
        runRelay(lab.server);
    }
    // The settings file names the endpoint (GBK: the tree's literals are GBK bytes).
    const std::string endpoint =
        "http://" + std::string(kServer) + ":" + std::to_string(kRelayPort);
    std::ofstream(work / "UserConfig.ini", std::ios::binary)
        << "[" << nicops::settings::kSettingsSection << "]\r\n"
        << nicops::settings::kLookupServerKey << "=" << endpoint << "\r\n";
    const std::string probe = "ip netns exec " + lab.client + " curl -s -o /dev/null --interface " +
                              localAddress(0) + " " + endpoint + "/GetIp/default.aspx";
    for (int tries = 0; tries < 50 && run(probe) != 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    const auto lookup = [&](const char* concurrency) {
        return timeCommand({"ip", "netns", "exec", lab.client, NICOPSCTL_PATH, "--config",
                            work.string(), "lookup", "--concurrency", concurrency});
    };
    const double one = lookup("1");
    const double many = lookup("32");

    const std::string script = (work / "curl.sh").string();
    {
        std::ofstream sh(script);
        for (int i = 0; i < kAddresses; ++i) {
            sh << "curl -s -o /dev/null --max-time 2 --interface " << localAddress(i) << " "
               << endpoint << "/GetIp/default.aspx\n";
        }
    }
    const double curl = timeCommand({"ip", "netns", "exec", lab.client, "sh", script});

    // The link made crowded, then each way of binding timed twice, alternating.
    {
        std::ofstream batch(work / "more.batch");
        for (int i = kAddresses; i < kCrowdedLink; ++i) {
            batch << "addr add " << localAddress(i) << "/16 dev lk0\n";
        }
    }
    run("ip -n " + lab.client + " -batch " + (work / "more.batch").string());
    double bare = -1;
    double host = -1;
    for (int round = 0; round < 2; ++round) {
        const double b = timeBinding(lab.client, "", kAddresses);
        const double h = timeBinding(lab.client, "host!", kAddresses);
        bare = bare < 0 || (b >= 0 && b < bare) ? b : bare;
        host = host < 0 || (h >= 0 && h < host) ? h : host;
    }

    nicops::inventory::AdapterSnapshot snapshot;
    for (int i = 0; i < 100000; ++i) {
        nicops::inventory::AddressEntry entry;
        entry.mask = "255.255.0.0";
        entry.externalAddress =
            "203.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        snapshot.addresses.store("10." + std::to_string(i / 65536) + "." +
                                     std::to_string(i / 256 % 256) + "." + std::to_string(i % 256),
                                 entry);
    }
    std::vector<double> exportTimes;
    std::size_t exported = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        exported = nicops::external::buildExportText(snapshot, nicops::settings::kDefaultCopyFormat)
                       .size();
        exportTimes.push_back(millisecondsSince(start));
    }
    std::sort(exportTimes.begin(), exportTimes.end());
    fs::remove_all(work);

    std::printf("far end: a relay holding each connection and each answer %lld ms\n",
                static_cast<long long>(kDelay.count()));
    std::printf("nicopsctl lookup, %d addresses, concurrency 1: %.0f ms\n", kAddresses, one);
    std::printf("nicopsctl lookup, %d addresses, concurrency 32: %.0f ms\n", kAddresses, many);
    std::printf("curl --interface, the same %d requests one after another: %.0f ms\n", kAddresses,
                curl);
    if (one > 0 && many > 0) {
        std::printf("ratio concurrency 1 / concurrency 32: %.1f   target >= 20\n", one / many);
    }
    if (one > 0 && curl > 0) {
        std::printf("ratio nicopsctl lookup (concurrency 1) / curl: %.2f\n", one / curl);
    }
    std::printf(
        "binding on a link with %d addresses, %d requests: bare address %.0f ms, "
        "host!ADDRESS %.0f ms",
        kCrowdedLink, kAddresses, bare, host);
    if (bare > 0 && host > 0) {
        std::printf(", ratio bare / host! %.2f", bare / host);
    }
    std::printf("\n");
    std::printf("export text of 100000 addresses (%zu bytes): median %.1f ms   target <= 100 ms\n",
                exported, exportTimes[2]);
    return 0;
}
