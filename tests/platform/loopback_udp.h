#pragma once

// Endpoints of a test's own for the notification channel: UDP sockets on
// 127.0.0.1 on ports the kernel picks.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <string>

namespace kesto::test {

inline sockaddr_in LoopbackAddress(int port) {
    return sockaddr_in{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
}

struct LoopbackUdp {
    LoopbackUdp() {
        sockaddr_in address = LoopbackAddress(0);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~LoopbackUdp() { ::close(fd); }
    bool Send(int to, const std::string& text) const {
        const sockaddr_in address = LoopbackAddress(to);
        return ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                        sizeof address) == static_cast<ssize_t>(text.size());
    }
    // The next datagram; "(none)" when none came within 20 s.
    std::string Receive() const {
        pollfd ready{fd, POLLIN, 0};
        char buffer[600];
        const ssize_t n = ::poll(&ready, 1, 20000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
        return n < 0 ? "(none)" : std::string(buffer, static_cast<size_t>(n));
    }
    // A port that no socket holds now.
    static int FreePort() { return LoopbackUdp().port; }

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int port = 0;
};

// The IPv4 socket of this process bound to the port, or -1.
inline int SocketBoundTo(int port) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);  // stays zero on failure
        if (address.sin_family == AF_INET && ntohs(address.sin_port) == port) return fd;
    }
    return -1;
}

}  // namespace kesto::test
