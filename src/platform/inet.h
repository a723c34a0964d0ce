// The socket API's address-text and name functions (inet_pton, getaddrinfo, ntohl) on both
// platforms. On Windows they live in Winsock, which each process starts once before a name
// look-up: startSockets() does that (and nothing elsewhere).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace nicops::platform {

#ifdef _WIN32
inline bool startSockets() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
inline bool startSockets() {
    return true;
}
#endif

}  // namespace nicops::platform
