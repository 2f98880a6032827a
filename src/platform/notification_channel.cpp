#include "platform/notification_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/notification_endpoints.h"

extern "C" {

const char* const MSG_IP[5] = {kesto::kNotificationHosts[0], kesto::kNotificationHosts[1],
                               kesto::kNotificationHosts[2], kesto::kNotificationHosts[3],
                               kesto::kNotificationHosts[4]};
const int MSG_PORTS[8] = {kesto::kNotificationPorts[0],
                          kesto::kNotificationPorts[1],
                          kesto::kNotificationPorts[2],
                          kesto::kNotificationPorts[3],
                          kesto::kNotificationPorts[4],
                          0,
                          0,
                          0};

}  // extern "C"

namespace {

// Test redirection only: the endpoints a test process binds instead of the
// machine-wide ones, which another run on the same machine may hold.
std::atomic<const kesto::NotificationEndpoint*> g_testEndpoints{nullptr};
std::atomic<int> g_testEndpointCount{0};
constexpr size_t kDatagramSize = 512;
constexpr int kFailurePauseMs = 100;

void SetCloseOnExec(int fd) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

class SocketGuard : Uncopyable {
public:
    explicit SocketGuard(int descriptor) : fd(descriptor) {}
    ~SocketGuard() {
        if (fd >= 0) ::close(fd);
    }
    const int fd;
};

int OpenUdpSocket() {
#ifdef SOCK_CLOEXEC
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
#else
    int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (fd >= 0) SetCloseOnExec(fd);
    return fd;
#endif
}

// Binds to the first free endpoint of the table; false after five refusals.
bool BindFirstFreeEndpoint(int fd, sockaddr_in& bound) {
    const kesto::NotificationEndpoint* redirected = g_testEndpoints.load();
    const int count = redirected != nullptr ? g_testEndpointCount.load() : kesto::kNotificationEndpoints;
    for (int index = 0; index < count; ++index) {
        const char* host = redirected != nullptr ? redirected[index].host : MSG_IP[index];
        const int port = redirected != nullptr ? redirected[index].port : MSG_PORTS[index];
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        int result = -1;
        if (::inet_aton(host, &address.sin_addr) == 0) {
            // Never fall back to the wildcard address: that would open the
            // channel to the network. Count it as a refused endpoint.
            DebugPrint("inet_aton() failed\n");
            errno = EINVAL;
        } else {
            result = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        if (result == 0) {
            DebugPrint("Bind Success. on Port %d \n", port);
            bound = address;
            return true;
        }
        DebugPrint("Bind failed.  Retrying with other ports %d \n", errno);
    }
    DebugPrint("Bind Failed. Reached Max Attempts\n");
    return false;
}

bool StopRequested(kesto::NotificationStop* stop) {
    return stop != nullptr && stop->Requested();
}

// Waits until the socket is readable (1), the stop is requested (0) or the wait
// fails (-1). Without a wake-up pipe the stop flag is looked at every 100 ms.
int WaitForDatagram(int fd, kesto::NotificationStop* stop) {
    for (;;) {
        if (StopRequested(stop)) return 0;
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop != nullptr ? stop->WakeFd() : -1, POLLIN, 0}};
        int timeout = (stop != nullptr && stop->WakeFd() < 0) ? kFailurePauseMs : -1;
        int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (StopRequested(stop)) return 0;
        if (fds[0].revents != 0) return 1;
    }
}

// Sleeps after a failed receive so that a persistent failure cannot spin;
// a stop request cuts the pause short.
void PauseAfterFailure(kesto::NotificationStop* stop) {
    pollfd wake = {stop != nullptr ? stop->WakeFd() : -1, POLLIN, 0};
    ::poll(&wake, 1, kFailurePauseMs);
}

}  // namespace

namespace kesto {

void SetNotificationEndpointsForTesting(const NotificationEndpoint* endpoints, int count) {
    g_testEndpointCount.store(endpoints != nullptr ? count : 0);
    g_testEndpoints.store(endpoints);
}

NotificationStop::NotificationStop() {
    if (::pipe(pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    for (int fd : pipeFds) {
        SetCloseOnExec(fd);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
}

NotificationStop::~NotificationStop() {
    for (int fd : pipeFds) {
        if (fd >= 0) ::close(fd);
    }
}

void NotificationStop::Request() {
    requested.store(true);
    if (pipeFds[1] >= 0) {
        const char wake = 1;
        // A full pipe already wakes the monitor; nothing to do on failure.
        (void)!::write(pipeFds[1], &wake, 1);
    }
}

int DeviceNotificationCount(const char* datagram, size_t size) {
    if (datagram == nullptr) return 0;
    const std::string_view text(datagram, size);
    return (text.find("DEVICE_ADD") != std::string_view::npos ? 1 : 0) +
           (text.find("DEVICE_REMOVE") != std::string_view::npos ? 1 : 0);
}

void MonitorDeviceNotificationUntil(int* /*slot*/, void (*notify)(void*), void* context,
                                    NotificationStop* stop) {
    SocketGuard socket(OpenUdpSocket());
    if (socket.fd < 0) {
        DebugPrint("MonitorDeviceNotification socket creation failed %d\n", errno);
        return;
    }
    sockaddr_in bound;
    if (!BindFirstFreeEndpoint(socket.fd, bound)) return;
    char address[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &bound.sin_addr, address, sizeof address);
    DebugPrint("***Bind Success  %s on Port %d ***\n", address, ntohs(bound.sin_port));

    char buffer[kDatagramSize];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        DebugPrint("Waiting for RecevFrom\n");
        int ready = WaitForDatagram(socket.fd, stop);
        if (ready == 0) return;
        ssize_t received = -1;
        if (ready > 0) {
            sockaddr_in sender;
            socklen_t senderSize = sizeof sender;
            // The socket was readable; do not block should the datagram have gone meanwhile.
            received = ::recvfrom(socket.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&sender), &senderSize);
            if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        }
        if (received < 0) {
            DebugPrint("recvfrom() Failed \n");
            PauseAfterFailure(stop);
            continue;
        }
        if (notify == nullptr) continue;
        for (int calls = DeviceNotificationCount(buffer, static_cast<size_t>(received)); calls > 0; --calls) {
            notify(context);
        }
    }
}

}  // namespace kesto

extern "C" {

KESTO_API void MonitorDeviceNotification(int* slot, void (*callback)(void*)) {
    // Nobody can reach this stop: the monitor runs until setup fails.
    kesto::MonitorDeviceNotificationUntil(slot, callback, nullptr, nullptr);
}

KESTO_API void DestroyDeviceNotification(int* slot) {
    if (slot == nullptr || *slot < 0) return;
    ::close(*slot);
    *slot = -1;
}

KESTO_API int TryOpenPort(int number) {
    char path[512];
    std::snprintf(path, sizeof path, "/dev/ttyS%d", number);
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        DebugPrint("can not open %s :: errno %d\n", path, errno);
        return 0;
    }
    char buffer[512];
    errno = 0;
    ssize_t result = ::read(fd, buffer, sizeof buffer);
    int usable = (result >= 0 || errno != EIO) ? 1 : 0;
    ::close(fd);
    return usable;
}

}  // extern "C"
