#include "loopback_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace kesto::bench {

LoopbackSink::LoopbackSink() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 || ::pipe(wake_) != 0) {
        if (listener_ >= 0) ::close(listener_);
        throw std::runtime_error("loopback sink: no listening socket");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&LoopbackSink::Run, this);
}

LoopbackSink::~LoopbackSink() {
    const char stop = 1;
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string LoopbackSink::Description() const {
    return "<device><type>ETH</type><path>127.0.0.1:" + std::to_string(port_) + "</path></device>";
}

int LoopbackSink::Connect() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("loopback sink: connect failed");
    }
    // The same socket the library makes: small commands leave at once, not coalesced.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void LoopbackSink::Run() {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents != 0) break;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) fds.push_back({client, POLLIN, 0});
        }
        for (size_t i = 2; i < fds.size();) {
            if (fds[i].revents == 0) {
                ++i;
                continue;
            }
            const ssize_t n = ::recv(fds[i].fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                drained_ += static_cast<uint64_t>(n);
                ++i;
            } else {
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
            }
        }
    }
    for (size_t i = 2; i < fds.size(); ++i) ::close(fds[i].fd);
}

}  // namespace kesto::bench
