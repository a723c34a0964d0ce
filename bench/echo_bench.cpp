// Requests per second of nicops-echo on loopback, against a static-file peer in the same run:
//   - nicops-echo on 127.0.0.1 and a free port (default location database, its log on
//     /dev/null), answering GET /GetIp/default.aspx;
//   - the peer: lighttpd on another loopback port serving a file holding the very bytes
//     nicops-echo answered (fetched with curl first), with the same Content-Type;
//   - each measured by wrk with 64 connections on 2 threads for 5 s (keep-alive, as wrk does).
// Prints both figures and the ratio nicops-echo / peer. Without wrk, lighttpd or curl it prints
// what is missing and measures nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;
using nicops::bench::Child;
using nicops::bench::freePort;
using nicops::bench::waitForListener;

constexpr const char* kPath = "/GetIp/default.aspx";

// The first of dirs/name that is an executable file, or "" when none is.
std::string findProgram(const std::string& name, const std::vector<std::string>& dirs) {
    for (const auto& dir : dirs) {
        const fs::path candidate = fs::path(dir) / name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

const std::vector<std::string> kBinDirs = {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin",
                                           "/usr/bin",        "/sbin",          "/bin"};

// Everything a command prints on stdout.
std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    pclose(pipe);
    return out;
}

struct WrkResult {
    double requestsPerSecond = -1;
    long requests = 0;
    std::string errors;  // wrk's socket-error and non-2xx lines, if any
};

// One wrk run of 64 connections on 2 threads for 5 s against url.
WrkResult runWrk(const std::string& wrk, const std::string& url) {
    WrkResult result;
    const std::string out = capture(wrk + " -c 64 -t 2 -d 5s " + url + " 2>&1");
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto first = line.find_first_not_of(' ');
        const std::string trimmed = first == std::string::npos ? "" : line.substr(first);
        if (trimmed.rfind("Requests/sec:", 0) == 0) {
            result.requestsPerSecond = std::stod(trimmed.substr(13));
        } else if (trimmed.find(" requests in ") != std::string::npos) {
            result.requests = std::stol(trimmed);
        } else if (trimmed.rfind("Socket errors:", 0) == 0 || trimmed.rfind("Non-2xx", 0) == 0) {
            result.errors += (result.errors.empty() ? "" : "; ") + trimmed;
        }
    }
    if (result.requestsPerSecond < 0) {
        result.errors = "wrk printed no figure: " + out;
    }
    return result;
}

void printResult(const char* who, const WrkResult& r) {
    if (r.requestsPerSecond < 0) {
        std::printf("%s: not measured (%s)\n", who, r.errors.c_str());
        return;
    }
    std::printf("%s: %.0f requests/s (%ld requests in 5 s, 64 connections)%s%s\n", who,
                r.requestsPerSecond, r.requests, r.errors.empty() ? "" : "   ", r.errors.c_str());
}

}  // namespace

int main() {
    const std::string wrk = findProgram("wrk", kBinDirs);
    const std::string lighttpd = findProgram("lighttpd", kBinDirs);
    const std::string curl = findProgram("curl", kBinDirs);
    std::string missing;
    for (const auto& [name, path] : {std::pair<const char*, const std::string&>{"wrk", wrk},
                                     {"lighttpd", lighttpd},
                                     {"curl", curl}}) {
        if (path.empty()) {
            missing += std::string(missing.empty() ? "" : ", ") + name;
        }
    }
    if (!missing.empty()) {
        std::printf(
            "echo_bench: not installed: %s (scripts/deps installs them); nothing measured\n",
            missing.c_str());
        return 0;
    }

    const int echoPort = freePort();
    int peerPort = freePort();
    while (peerPort == echoPort) {
        peerPort = freePort();
    }
    if (echoPort < 0 || peerPort < 0) {
        std::printf("echo_bench: no free loopback port\n");
        return 1;
    }
    const fs::path work =
        fs::temp_directory_path() / ("nicops-echo-bench-" + std::to_string(getpid()));
    fs::create_directories(work / "root" / "GetIp");
    const std::string echoUrl = "http://127.0.0.1:" + std::to_string(echoPort) + kPath;
    const std::string peerUrl = "http://127.0.0.1:" + std::to_string(peerPort) + kPath;

    int rc = 0;
    {
        Child echo({NICOPS_ECHO_PATH, "--listen", "127.0.0.1:" + std::to_string(echoPort)});
        if (!echo.started() || !waitForListener(echoPort)) {
            std::printf("echo_bench: nicops-echo did not start on 127.0.0.1:%d\n", echoPort);
            fs::remove_all(work);
            return 1;
        }
        // The peer serves the very bytes nicops-echo answers to a loopback caller.
        const fs::path file = work / "root" / "GetIp" / "default.aspx";
        const std::string answer = capture(curl + " -sS --fail " + echoUrl);
        {
            std::ofstream out(file, std::ios::binary);
            out << answer;
        }
        const fs::path conf = work / "peer.conf";
        {
            std::ofstream out(conf);
            out << "server.document-root = \"" << (work / "root").string() << "\"\n"
                << "server.bind = \"127.0.0.1\"\n"
                << "server.port = " << peerPort << "\n"
                << "server.errorlog = \"" << (work / "peer-error.log").string() << "\"\n"
                << "server.modules = (\"mod_setenv\")\n"
                << "setenv.add-response-header = (\"Cache-Control\" => \"no-store\")\n"
                << "mimetype.assign = (\".aspx\" => \"application/json; charset=utf-8\")\n"
                << "static-file.etags = \"disable\"\n";
        }
        Child peer({lighttpd, "-D", "-f", conf.string()});
        if (answer.empty() || !peer.started() || !waitForListener(peerPort)) {
            std::printf("echo_bench: %s\n", answer.empty() ? "nicops-echo gave no answer to curl"
                                                           : "lighttpd did not start");
            rc = 1;
        } else {
            const std::string peerAnswer = capture(curl + " -sS --fail " + peerUrl);
            std::printf("answer: %zu bytes %s; the peer serves %s\n", answer.size(), answer.c_str(),
                        peerAnswer == answer ? "the same bytes" : "DIFFERENT bytes");
            const WrkResult ours = runWrk(wrk, echoUrl);
            const WrkResult theirs = runWrk(wrk, peerUrl);
            printResult("nicops-echo", ours);
            printResult("lighttpd, static file", theirs);
            if (ours.requestsPerSecond < 0 || theirs.requestsPerSecond <= 0) {
                std::printf("ratio requests/s nicops-echo / lighttpd: not measured\n");
            } else {
                std::printf("ratio requests/s nicops-echo / lighttpd: %.2f\n",
                            ours.requestsPerSecond / theirs.requestsPerSecond);
            }
        }
    }
    fs::remove_all(work);
    return rc;
}
