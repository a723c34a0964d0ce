// A small HTTP server on 127.0.0.1 for the lookup tests: every connection gets its own thread,
// the handler sees the caller's address and the request path and returns the whole response. A
// streaming handler writes its response piece by piece instead, and may hold the connection open
// until the caller gives up.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nicops::testing {

inline std::string httpResponse(int status, const std::string& body,
                                const std::string& extraHeaders = {}) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
           extraHeaders + "\r\n" + body;
}

// The connection as a streaming handler sees it.
class HttpConnection {
public:
    explicit HttpConnection(int fd) : fd_(fd) {}

    // Sends all of `bytes`; false once the caller has closed the connection.
    bool send(std::string_view bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
            sentBytes_ += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Waits until the caller closes the connection, at most `limit`; true when it did.
    bool waitForCallerToLeave(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char byte;
                if (::recv(fd_, &byte, 1, MSG_DONTWAIT) <= 0) {
                    return true;
                }
            }
        }
        return false;
    }
    std::size_t sentBytes() const { return sentBytes_; }

private:
    int fd_;
    std::size_t sentBytes_ = 0;
};

class LoopbackHttpServer {
public:
    using Handler = std::function<std::string(const std::string& peer, const std::string& path)>;
    using StreamingHandler = std::function<void(const std::string& peer, const std::string& path,
                                                HttpConnection& connection)>;

    explicit LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) { start(); }
    explicit LoopbackHttpServer(StreamingHandler handler) : streaming_(std::move(handler)) {
        start();
    }
    ~LoopbackHttpServer() {
        stop_ = true;
        if (acceptor_.joinable()) {
            acceptor_.join();
        }
        for (std::thread& t : connections_) {
            t.join();
        }
        ::close(listener_);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int requests() const { return requests_; }
    int mostAtOnce() const { return mostAtOnce_; }

private:
    void start() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 64) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    void acceptLoop() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                connections_.emplace_back([this, fd] { serve(fd); });
            }
        }
    }

    void serve(int fd) {
        const int now = ++inFlight_;
        int most = mostAtOnce_;
        while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
        }
        ++requests_;
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(got));
        }
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length);
        char peerText[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
        const std::size_t pathStart = request.find(' ') + 1;
        const std::string path =
            request.substr(pathStart, request.find(' ', pathStart) - pathStart);
        HttpConnection connection(fd);
        if (streaming_) {
            streaming_(peerText, path, connection);
            --inFlight_;
        } else {
            const std::string response = handler_(peerText, path);
            // Counted out before the answer goes: once it is sent the caller may already be
            // making its next request.
            --inFlight_;
            connection.send(response);
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    Handler handler_;
    StreamingHandler streaming_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<int> mostAtOnce_{0};
    std::atomic<int> requests_{0};
    std::thread acceptor_;
    std::vector<std::thread> connections_;  // the acceptor's own
};

}  // namespace nicops::testing
