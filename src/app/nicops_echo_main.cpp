// nicops-echo: answers GET /GetIp/default.aspx with the caller's public address and location,
// for nicops' external address lookup. The HTTP work (threads, time-outs, limits) is
// libmicrohttpd's; this file wires options, databases and the answer together, and makes room
// for a newcomer when every connection is taken.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <pthread.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "echo/answer.h"
#include "echo/country_names.h"
#include "echo/forwarded.h"
#include "echo/location.h"

namespace {

using namespace nicops::echo;
using Clock = std::chrono::steady_clock;

constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kPath = "/GetIp/default.aspx";
constexpr std::size_t kMemoryPerConnection = 16 * 1024;  // request line + headers must fit

struct Options {
    std::string listen = "0.0.0.0:8080";
    std::string mmdb;
    std::string locdb = kDefaultLocDb;
    std::string language = "zh_CN";
    TrustedProxies trusted;
    unsigned maxConnections = 1024;
    unsigned timeoutSeconds = 10;
};

// Every connection, and the line of those waiting for a request: just accepted, or idle
// between requests, or slow to send their headers. At the connection limit a newcomer would
// wait in the listen queue until a connection closes, and a caller sending its headers a byte
// at a time keeps its connection past any idle time-out. So when a new connection takes the
// last place, the one that has waited longest in the line is shut down and its place goes to
// the next caller in the queue. A connection whose request is being answered is never chosen.
class Connections {
public:
    struct Entry {
        int fd = -1;
        Entry* previous = nullptr;  // in the line while waiting
        Entry* next = nullptr;
        bool waiting = false;
        bool shutDown = false;  // made room for a newcomer
    };

    void setLimit(unsigned limit) { limit_ = limit; }

    Entry* opened(int fd) {
        auto* entry = new Entry;
        entry->fd = fd;
        const std::lock_guard lock(mutex_);
        ++count_;
        join(entry);
        if (count_ >= limit_ && first_ != entry) {
            Entry* longest = first_;
            leave(longest);
            longest->shutDown = true;
            // Still this connection's descriptor: libmicrohttpd closes a socket only after
            // telling closed() below, which waits for the lock.
            shutdown(longest->fd, SHUT_RDWR);
        }
        return entry;
    }
    void requestIn(Entry* entry) {
        const std::lock_guard lock(mutex_);
        leave(entry);
    }
    void requestDone(Entry* entry) {
        const std::lock_guard lock(mutex_);
        if (!entry->shutDown) {
            leave(entry);
            join(entry);
        }
    }
    bool wasShutDown(const Entry* entry) {
        const std::lock_guard lock(mutex_);
        return entry->shutDown;
    }
    void closed(Entry* entry) {
        {
            const std::lock_guard lock(mutex_);
            --count_;
            leave(entry);
        }
        delete entry;
    }

private:
    void join(Entry* entry) {
        entry->waiting = true;
        entry->previous = last_;
        entry->next = nullptr;
        (last_ != nullptr ? last_->next : first_) = entry;
        last_ = entry;
    }
    void leave(Entry* entry) {
        if (!entry->waiting) {
            return;
        }
        entry->waiting = false;
        (entry->previous != nullptr ? entry->previous->next : first_) = entry->next;
        (entry->next != nullptr ? entry->next->previous : last_) = entry->previous;
    }

    std::mutex mutex_;
    unsigned limit_ = 0;
    unsigned count_ = 0;
    Entry* first_ = nullptr;
    Entry* last_ = nullptr;
};

struct Server {
    Options options;
    LocationSource location;
    Connections connections;
};

Connections::Entry* entryOf(MHD_Connection* connection) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<Connections::Entry*>(info->socket_context) : nullptr;
}

void connectionChanged(void* cls, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode code) {
    auto& connections = static_cast<Server*>(cls)->connections;
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        *socketContext = connections.opened(info != nullptr ? info->connect_fd : -1);
    } else if (*socketContext != nullptr) {
        connections.closed(static_cast<Connections::Entry*>(*socketContext));
        *socketContext = nullptr;
    }
}

// One request's bookkeeping, from the request line to the end of the answer.
struct Request {
    Clock::time_point start = Clock::now();
    unsigned status = 0;
    bool headersChecked = false;  // request line and headers passed; answered once whole
    std::string caller;
};

void usage(std::ostream& out) {
    out << "Usage: nicops-echo [OPTION]...\n"
           "Answers GET /GetIp/default.aspx with the caller's address and location as\n"
           "{\"ip\":...,\"country\":...,\"region\":...,\"city\":...,\"as\":...}.\n\n"
           "  --listen ADDRESS:PORT    where to listen (default 0.0.0.0:8080; IPv6 as [::]:8080)\n"
           "  --locdb FILE             location database for country and AS\n"
           "                           (default "
        << kDefaultLocDb
        << ")\n"
           "  --mmdb FILE              city-level .mmdb database for region and city (optional)\n"
           "  --lang LANGUAGE          language of the names (default zh_CN; en for English)\n"
           "  --trust-proxy ADDRESS    honour X-Forwarded-For from this peer (ADDRESS or\n"
           "                           ADDRESS/PREFIX; repeatable)\n"
           "  --max-connections N      connections served at once (default 1024)\n"
           "  --timeout SECONDS        idle connection time-out (default 10)\n"
           "  --help                   show this help and exit\n"
           "  --version                show the version and exit\n";
}

std::optional<unsigned> parseCount(const std::string& text, unsigned low, unsigned high) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long value = std::stoul(text);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

// "ADDRESS:PORT" or "[IPV6]:PORT" to a socket address.
bool parseListen(const std::string& text, sockaddr_storage& out, socklen_t& length) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = text.substr(0, colon);
    const auto port = parseCount(text.substr(colon + 1), 0, 65535);
    if (!port) {
        return false;
    }
    std::memset(&out, 0, sizeof out);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        auto* six = reinterpret_cast<sockaddr_in6*>(&out);
        six->sin6_family = AF_INET6;
        six->sin6_port = htons(static_cast<std::uint16_t>(*port));
        length = sizeof *six;
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &six->sin6_addr) == 1;
    }
    auto* four = reinterpret_cast<sockaddr_in*>(&out);
    four->sin_family = AF_INET;
    four->sin_port = htons(static_cast<std::uint16_t>(*port));
    length = sizeof *four;
    return inet_pton(AF_INET, host.c_str(), &four->sin_addr) == 1;
}

std::string peerAddress(MHD_Connection* connection) {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr) {
        return {};
    }
    char buffer[INET6_ADDRSTRLEN] = {};
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, buffer,
                  sizeof buffer);
    } else if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, buffer,
                  sizeof buffer);
    }
    // An IPv4 caller on a dual-stack socket arrives IPv4-mapped: answer with its IPv4 form.
    const auto parsed = parseIpAddress(buffer);
    return parsed ? formatIpAddress(*parsed) : std::string(buffer);
}

MHD_Result collectForwardedFor(void* cls, MHD_ValueKind, const char* key, const char* value) {
    if (key != nullptr && value != nullptr && strcasecmp(key, "X-Forwarded-For") == 0) {
        auto& joined = *static_cast<std::string*>(cls);
        if (!joined.empty()) {
            joined += ',';
        }
        joined += value;
    }
    return MHD_YES;
}

MHD_Result reply(MHD_Connection* connection, Request& request, unsigned status,
                 const std::string& body, const char* contentType) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET");
    }
    request.status = status;
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

// libmicrohttpd's own messages are shown while the server starts (why it can't listen, …);
// afterwards a refused request is already told by its log line.
std::atomic<bool> starting{true};

void libraryMessage(void*, const char* format, va_list arguments) {
    if (starting) {
        std::fputs("nicops-echo: ", stderr);
        std::vfprintf(stderr, format, arguments);
    }
}

void* startRequest(void*, const char*, MHD_Connection*) {
    return new Request;
}

// The answer to a well-formed request: the caller's address (or the one a trusted proxy
// forwarded) and its location.
MHD_Result answerCaller(const Server& server, MHD_Connection* connection, Request& request) {
    const std::string peerText = peerAddress(connection);
    request.caller = peerText;
    const auto peer = parseIpAddress(peerText);
    if (!peer) {
        return reply(connection, request, MHD_HTTP_INTERNAL_SERVER_ERROR, "no caller address\n",
                     kPlainText);
    }
    std::string forwardedFor;
    if (server.options.trusted.contains(*peer)) {
        MHD_get_connection_values(connection, MHD_HEADER_KIND, collectForwardedFor, &forwardedFor);
    }
    const std::string caller =
        formatIpAddress(chooseClientAddress(*peer, forwardedFor, server.options.trusted));
    if (caller != peerText) {
        request.caller = caller + " via " + peerText;
    }
    return reply(connection, request, MHD_HTTP_OK,
                 buildAnswer(caller, server.location.lookup(caller)),
                 "application/json; charset=utf-8");
}

// A refused request is answered as soon as its headers are in, which also closes its
// connection. A good one is answered on the next call, once the request is whole: a response
// queued earlier would close the connection, and callers keep theirs open between requests.
MHD_Result handle(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, std::size_t* uploadSize, void** context) {
    auto& server = *static_cast<Server*>(cls);
    if (*context == nullptr) {
        *context = new Request;
    }
    auto& request = *static_cast<Request*>(*context);
    if (request.status != 0) {
        *uploadSize = 0;  // answered already; a body that still arrives is discarded
        return MHD_YES;
    }
    if (request.headersChecked) {
        return answerCaller(server, connection, request);
    }
    if (auto* entry = entryOf(connection)) {
        server.connections.requestIn(entry);  // its headers are in: no longer waiting
    }
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0) {
        return reply(connection, request, MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed\n",
                     kPlainText);
    }
    if (std::strcmp(url, kPath) != 0) {
        return reply(connection, request, MHD_HTTP_NOT_FOUND, "not found\n", kPlainText);
    }
    // A GET carries no body: refuse one rather than read it.
    const char* contentLength =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const char* transferEncoding =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
    if ((contentLength != nullptr && std::strcmp(contentLength, "0") != 0) ||
        transferEncoding != nullptr || *uploadSize != 0) {
        return reply(connection, request, MHD_HTTP_CONTENT_TOO_LARGE, "request body refused\n",
                     kPlainText);
    }
    request.headersChecked = true;
    return MHD_YES;
}

const char* endReason(MHD_RequestTerminationCode code) {
    switch (code) {
        case MHD_REQUEST_TERMINATED_COMPLETED_OK:
            return "";
        case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED:
            return " (timed out)";
        case MHD_REQUEST_TERMINATED_READ_ERROR:
        case MHD_REQUEST_TERMINATED_CLIENT_ABORT:
            return " (caller went away)";
        case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN:
            return " (shutting down)";
        default:
            return " (refused by the request limits)";
    }
}

// A request whose connection was shut down to make room for a newcomer.
constexpr const char* kMadeRoom = " (refused by the request limits)";

// One log line per request: time, caller, status, duration.
void finishRequest(void* cls, MHD_Connection* connection, void** context,
                   MHD_RequestTerminationCode code) {
    auto* request = static_cast<Request*>(*context);
    *context = nullptr;
    auto& connections = static_cast<Server*>(cls)->connections;
    bool shutDown = false;
    if (auto* entry = entryOf(connection)) {
        shutDown = connections.wasShutDown(entry);
        connections.requestDone(entry);  // waits for its next request from now
    }
    std::string caller =
        request != nullptr && !request->caller.empty() ? request->caller : peerAddress(connection);
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string status = request != nullptr && request->status != 0
                             ? std::to_string(request->status)
                             : std::string("-");
    std::string duration = "-";
    if (request != nullptr) {
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - request->start)
                .count();
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.3fms", static_cast<double>(micros) / 1000.0);
        duration = buffer;
    }
    std::fprintf(stderr, "%s %s %s %s%s\n", stamp, caller.c_str(), status.c_str(), duration.c_str(),
                 shutDown ? kMadeRoom : endReason(code));
    delete request;
}

// How many connections the open-file limit leaves room for, its soft value raised towards the
// hard one first when `wanted` needs more. Besides one descriptor per connection the process
// holds its standard streams, the listening socket, each server thread's poll and wake-up
// descriptors and the databases.
unsigned fitOpenFileLimit(unsigned wanted, unsigned threads) {
    const rlim_t reserve = 16 + 4 * static_cast<rlim_t>(threads);
    const rlim_t needed = wanted + reserve;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= needed) {
        return wanted;
    }
    const rlim_t raised =
        limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (raised > limit.rlim_cur) {
        const rlimit attempt{raised, limit.rlim_max};
        if (setrlimit(RLIMIT_NOFILE, &attempt) == 0) {
            limit.rlim_cur = raised;
        }
    }
    if (limit.rlim_cur >= needed) {
        return wanted;
    }
    return limit.rlim_cur > reserve ? static_cast<unsigned>(limit.rlim_cur - reserve) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Server server;
    Options& options = server.options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        const auto needValue = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                std::cerr << "nicops-echo: " << arg << " needs a value\n";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            return 0;
        } else if (arg == "--version") {
            std::cout << "nicops-echo " << NICOPS_VERSION << "\n";
            return 0;
        } else if (arg == "--listen" || arg == "--mmdb" || arg == "--locdb" || arg == "--lang" ||
                   arg == "--trust-proxy" || arg == "--max-connections" || arg == "--timeout") {
            if (!needValue()) {
                return 2;
            }
            if (arg == "--listen") {
                options.listen = value;
            } else if (arg == "--mmdb") {
                options.mmdb = value;
            } else if (arg == "--locdb") {
                options.locdb = value;
            } else if (arg == "--lang") {
                options.language = value;
            } else if (arg == "--trust-proxy") {
                if (!options.trusted.add(value)) {
                    std::cerr << "nicops-echo: --trust-proxy: not an address: " << value << "\n";
                    return 2;
                }
            } else if (arg == "--max-connections") {
                const auto n = parseCount(value, 1, 1000000);
                if (!n) {
                    std::cerr << "nicops-echo: --max-connections: not a count: " << value << "\n";
                    return 2;
                }
                options.maxConnections = *n;
            } else {
                const auto n = parseCount(value, 1, 86400);
                if (!n) {
                    std::cerr << "nicops-echo: --timeout: not a number of seconds: " << value
                              << "\n";
                    return 2;
                }
                options.timeoutSeconds = *n;
            }
        } else {
            std::cerr << "nicops-echo: unknown argument: " << argv[i] << "\n";
            usage(std::cerr);
            return 2;
        }
    }

    sockaddr_storage address{};
    socklen_t addressLength = 0;
    if (!parseListen(options.listen, address, addressLength)) {
        std::cerr << "nicops-echo: --listen: not ADDRESS:PORT: " << options.listen << "\n";
        return 2;
    }

    CountryNames names;
    if (!names.load(kIsoCodesJson, kLocaleDir, options.language)) {
        std::cerr << "nicops-echo: warning: " << kIsoCodesJson
                  << " not readable; country names stay empty (install iso-codes)\n";
    } else if (!names.translated() && options.language != "en" &&
               options.language.rfind("en_", 0) != 0) {
        std::cerr << "nicops-echo: warning: no country names for " << options.language
                  << "; English names are used\n";
    }
    server.location.setCountryNames(std::move(names), options.language);
    std::string error;
    if (!options.locdb.empty() && !server.location.openLocDb(options.locdb, error)) {
        std::cerr << "nicops-echo: warning: " << error
                  << "; country and AS stay empty (install libloc-database)\n";
    }
    if (!options.mmdb.empty() && !server.location.openMmdb(options.mmdb, error)) {
        std::cerr << "nicops-echo: " << error << "\n";
        return 1;
    }

    // The signals that stop the server are taken by sigwait below, never by a server thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const unsigned threads = std::max(2u, std::min(16u, std::thread::hardware_concurrency()));
    const unsigned wanted = std::max(options.maxConnections, threads);
    const unsigned allowed = fitOpenFileLimit(wanted, threads);
    if (allowed < wanted) {
        std::fprintf(stderr,
                     "nicops-echo: warning: the open-file limit leaves room for %u connections "
                     "only\n",
                     allowed);
    }
    // Every server thread takes at least one connection.
    const unsigned connectionLimit = std::max(allowed, threads);
    server.connections.setLimit(connectionLimit);
    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
    if (address.ss_family == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    MHD_Daemon* daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &handle, &server,          //
        MHD_OPTION_EXTERNAL_LOGGER, &libraryMessage, nullptr,  //
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&address), MHD_OPTION_THREAD_POOL_SIZE,
        threads,  //
        MHD_OPTION_CONNECTION_TIMEOUT, options.timeoutSeconds, MHD_OPTION_CONNECTION_LIMIT,
        connectionLimit, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kMemoryPerConnection,
        MHD_OPTION_URI_LOG_CALLBACK, &startRequest, nullptr,        //
        MHD_OPTION_NOTIFY_CONNECTION, &connectionChanged, &server,  //
        MHD_OPTION_NOTIFY_COMPLETED, &finishRequest, &server,       //
        MHD_OPTION_END);
    if (daemon == nullptr) {
        std::cerr << "nicops-echo: cannot listen on " << options.listen << "\n";
        return 1;
    }
    starting = false;
    const auto* bound = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    std::string shown = options.listen.substr(0, options.listen.rfind(':'));
    std::fprintf(stderr, "nicops-echo: listening on %s:%u\n", shown.c_str(),
                 bound != nullptr ? static_cast<unsigned>(bound->port) : 0u);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    MHD_stop_daemon(daemon);
    return 0;
}
