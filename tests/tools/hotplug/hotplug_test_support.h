#pragma once

// A UDP listener on one notification endpoint, for the hot-plug notifier's tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

namespace kesto::test {

class EndpointListener {
public:
    EndpointListener(const char* ip, int port) : fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, ip, &address.sin_addr);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~EndpointListener() {
        if (fd >= 0) ::close(fd);
    }
    EndpointListener(const EndpointListener&) = delete;
    EndpointListener& operator=(const EndpointListener&) = delete;

    bool Bound() const { return fd >= 0; }

    // The next datagram's text; "(none)" when nothing came within limit.
    std::string Next(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        pollfd ready = {fd, POLLIN, 0};
        if (fd < 0 || ::poll(&ready, 1, static_cast<int>(limit.count())) != 1) return "(none)";
        char buffer[600];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        return n < 0 ? "(error)" : std::string(buffer, static_cast<size_t>(n));
    }

    // True when a datagram is waiting now.
    bool Pending() {
        pollfd ready = {fd, POLLIN, 0};
        return fd >= 0 && ::poll(&ready, 1, 0) == 1;
    }

private:
    int fd;
};

}  // namespace kesto::test
