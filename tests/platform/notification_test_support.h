#pragma once

// Helpers for tests that talk to the device notification channel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "support/log_reader.h"

namespace kesto::test {

inline sockaddr_in LoopbackAddress(const char* ip, int port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_aton(ip, &address.sin_addr);
    return address;
}

// Sends text as one datagram to ip:port; true when it went out.
inline bool SendDatagram(const char* ip, int port, const std::string& text) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    sockaddr_in to = LoopbackAddress(ip, port);
    ssize_t sent = ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::close(fd);
    return sent == static_cast<ssize_t>(text.size());
}

// A UDP socket holding ip:port for as long as it lives; fd is -1 when the bind failed.
class TakenEndpoint {
public:
    TakenEndpoint(const char* ip, int port) : fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address = LoopbackAddress(ip, port);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~TakenEndpoint() {
        if (fd >= 0) ::close(fd);
    }
    TakenEndpoint(const TakenEndpoint&) = delete;
    TakenEndpoint& operator=(const TakenEndpoint&) = delete;
    bool Taken() const { return fd >= 0; }

private:
    int fd;
};

// Polls until done() holds; false after limit. For waiting on other threads only:
// the limit is a safety net, not a speed requirement.
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The monitor logs this before each receive: once it appears n times, the
// monitor has finished with the first n - 1 datagrams.
inline bool WaitForReceives(size_t n) {
    return WaitUntil([n] { return LogCount("Waiting for RecevFrom\n") >= n; });
}

}  // namespace kesto::test
