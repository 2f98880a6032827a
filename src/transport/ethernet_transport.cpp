#include "transport/ethernet_transport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/debug_log.h"
#include "platform/mutex_thread.h"

namespace {

// Linux suppresses SIGPIPE per call; macOS per socket (SO_NOSIGPIPE).
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for events or the time-out passes; poll rather than
// select, since a JVM host easily has descriptors above FD_SETSIZE.
// 1 ready, 0 time-out, -1 failure (errno set). Signals do not cut the wait short.
int WaitReady(int fd, short events, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready >= 0) return ready;
        if (errno != EINTR) return -1;
    }
}

constexpr int kStopping = -2;

// WaitReady for reading, in short slices when a stop flag is given, so that a
// request to stop is seen within a slice: kStopping then.
int WaitReadableUnlessStopping(int fd, std::chrono::milliseconds timeout, const std::atomic<bool>* stop) {
    if (stop == nullptr) return WaitReady(fd, POLLIN, timeout);
    constexpr std::chrono::milliseconds kSlice(100);
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (kesto::StopRequested(stop)) return kStopping;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return WaitReady(fd, POLLIN, std::chrono::milliseconds(0));
        const int ready = WaitReady(fd, POLLIN, std::min(left, kSlice));
        if (ready != 0) return ready;
    }
}

timeval ToTimeval(std::chrono::milliseconds duration) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(duration.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((duration.count() % 1000) * 1000);
    return value;
}

int NewStreamSocket() {
#if defined(SOCK_CLOEXEC)
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#else
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#endif
}

// The error number that tells the host why a host name did not resolve.
int ResolverError(int resolved, int systemError) {
    switch (resolved) {
        case EAI_SYSTEM:
            return systemError != 0 ? systemError : EHOSTUNREACH;
        case EAI_MEMORY:
            return ENOMEM;
        case EAI_AGAIN:
            return EAGAIN;  // the name server did not answer: worth trying again
        default:
            return EHOSTUNREACH;
    }
}

bool IsRetryableWriteError(int error) {
    return error == ENOSPC || error == ENXIO || error == EAGAIN || error == EWOULDBLOCK || error == EINTR ||
           error == ENOTTY;
}

}  // namespace

Ethernet::Ethernet(const std::string& devicePath, const EthernetTimeouts& fixedTimeouts)
    : path(devicePath), timeouts(fixedTimeouts) {
    DebugPrint("Ethernet::Inside Constructor\n");
    InitMutex(&mutex);
}

Ethernet::~Ethernet() {
    DebugPrint("Ethernet::Inside Destructor\n");
    Ethernet::Close();
    DestroyMutex(&mutex);
}

bool Ethernet::Open() {
    DebugPrint("Ethernet::Open\n");
    link.Stop();  // its reader must not read the socket Init replaces
    Lock guard(&mutex);
    try {
        Init();
    } catch (...) {
        // Only the path texts allocate; running out of memory is a failed open.
        lastError = ENOMEM;
        return false;
    }
    return connected.load();
}

void Ethernet::CloseSocket() {
    const int fd = sock_fd.exchange(-1);
    if (fd >= 0) ::close(fd);
    connected = false;
}

bool Ethernet::Init() {
    DebugPrint("Ethernet::Init\n");
    const std::string::size_type colon = path.find(':');
    DebugPrint("Ethernet::Host Name is %s\n", path.c_str());
    if (colon == std::string::npos) {
        DebugPrint("Ethernet:: Could not find Port Information\n");
        lastError = kNoPortInformation;
        return false;
    }
    szPrinterIP = path.substr(0, colon);
    szPrinterPort = path.substr(colon + 1);
    nPortNo = std::atoi(szPrinterPort.c_str());
    DebugPrint("Ethernet::szPrinterIP is %s\n", szPrinterIP.c_str());
    DebugPrint("Ethernet::szPrinterPort is %s\n", szPrinterPort.c_str());
    DebugPrint("Ethernet::nPortNo is %d\n", nPortNo);

    // A socket left by an earlier attempt is replaced, not leaked.
    CloseSocket();
    const int fd = NewStreamSocket();
    if (fd < 0) {
        const int error = errno;
        lastError = error;
        DebugPrint("Error in Socket Creation Error Code ::  %d\n", error);
        return false;
    }
    sendTimeoutFd = -1;
    sock_fd = fd;
#if defined(SO_NOSIGPIPE)
    const int noSigPipe = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &noSigPipe, sizeof noSigPipe);
#endif

    return ResolvePrinterAddress() && ConnectWithinTimeout(fd);
}

bool Ethernet::ResolvePrinterAddress() {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    errno = 0;
    const int resolved = ::getaddrinfo(szPrinterIP.c_str(), nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        DebugPrint("Error in  gethostbyname ::  %d\n", errno);
        lastError = ResolverError(resolved, errno);
        if (found != nullptr) ::freeaddrinfo(found);
        return false;
    }
    std::memset(&printerAddress, 0, sizeof printerAddress);
    printerAddress.sin_family = AF_INET;
    printerAddress.sin_port = htons(static_cast<uint16_t>(nPortNo));
    printerAddress.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

bool Ethernet::ConnectWithinTimeout(int fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    if (::connect(fd, reinterpret_cast<const sockaddr*>(&printerAddress), sizeof printerAddress) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
        // Refused at once (this happens on loopback): the pending error is
        // already consumed, so keep the one connect gave.
        const int error = errno;
        lastError = error;
        DebugPrint("Error in Socket Connect Error Code :: %d\n", error);
        return false;
    }

    const int ready = WaitReady(fd, POLLOUT, timeouts.connect);
    if (ready == 1) {
        int pending = 0;
        socklen_t size = sizeof pending;
        const int error = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0 ? errno : pending;
        if (error == 0) {
            DebugPrint("Socket Connected\n");
            connected = true;
            return true;
        }
        lastError = error;
        DebugPrint("Error in Socket Connect Error Code :: %d\n", error);
        return false;
    }
    const int error = ready == 0 ? ETIMEDOUT : errno;
    lastError = error;
    DebugPrint("Error in Socket Connect Timeout Error Code :: %d\n", error);
    return false;
}

int Ethernet::Close() {
    link.Stop();
    const int fd = sock_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
        DebugPrint("Ethernet Socket Closed\n");
    }
    connected = false;
    return 1;
}

int Ethernet::Write(const char* data, int length, int /*unusedTimeout*/) {
    if (sock_fd.load() < 0) {
        DebugPrint("Ethernet Total Bytes Written %d\n", 0);
        return 0;
    }
    Lock guard(&mutex);
    const int fd = sock_fd.load();
    if (fd < 0) {  // closed while we waited for the mutex
        DebugPrint("Ethernet Total Bytes Written %d\n", 0);
        return 0;
    }
    if (data == nullptr && length > 0) {
        lastError = EFAULT;
        DebugPrint("ERROR Unable to write print to socket data Error Code :: %d\n", EFAULT);
        return -1;
    }

    if (fd != sendTimeoutFd) {
        const timeval sendTimeout = ToTimeval(timeouts.send);
        if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout) != 0) {
            const int error = errno;
            lastError = error;
            DebugPrint("setsockopt SO_SNDTIMEO failed Error Code :: %d\n", error);
        } else {
            sendTimeoutFd = fd;
        }
    }

    int total = 0;
    int consecutiveTimeouts = 0;
    // A short command fits the socket's buffer at once: wait for room only once
    // the socket has taken less than was offered.
    bool waitForRoom = false;
    while (total < length) {
        if (waitForRoom && WaitReady(fd, POLLOUT, timeouts.send) == 0) {
            lastError = ETIMEDOUT;
            DebugPrint("Ethernet Write Time out %d\n", ETIMEDOUT);
            if (++consecutiveTimeouts < kMaxConsecutiveWriteTimeouts) continue;
            DebugPrint("ERROR Unable to write print to socket data Error Code :: %d\n", ETIMEDOUT);
            return -1;
        }
        const ssize_t sent = ::send(fd, data + total, static_cast<size_t>(length - total), kSendFlags);
        if (sent >= 0) {
            DebugPrint("Ethernet::Write %d Bytes of socket data\n", static_cast<int>(sent));
            waitForRoom = sent < length - total;
            total += static_cast<int>(sent);
            if (sent > 0) consecutiveTimeouts = 0;
            continue;
        }
        const int error = errno;
        waitForRoom = true;
        if (IsRetryableWriteError(error)) continue;
        lastError = error;
        DebugPrint("ERROR Unable to write print to socket data Error Code :: %d\n", error);
        return -1;
    }
    DebugPrint("Ethernet Total Bytes Written %d\n", total);
    return total;
}

int Ethernet::Read(char* buffer, int /*unused*/) {
    return ReadUnlessStopping(buffer, nullptr);
}

int Ethernet::ReadUnlessStopping(char* buffer, const std::atomic<bool>* stop) {
    const int fd = sock_fd.load();
    if (fd < 0) return 0;
    DebugPrint("Ethernet::Reading sock_fd value is %d \n", fd);
    const timeval receiveTimeout = ToTimeval(timeouts.receive);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout) != 0) {
        const int error = errno;
        lastError = error;
        DebugPrint("setsockopt SO_SNDTIMEO failed Error Code :: %d\n", error);
    }

    const int ready = WaitReadableUnlessStopping(fd, timeouts.receive, stop);
    if (ready == kStopping) {
        DebugPrint("Ethernet::Read abandoned: the status thread is stopping\n");
        return -1;
    }
    if (ready == 0) {
        lastError = ETIMEDOUT;
        DebugPrint("Ethernet::Select Timeout Error Code is %d\n", ETIMEDOUT);
        return -1;
    }
    DebugPrint("Ethernet::Selected \n");
    ssize_t received;
    if (buffer == nullptr) {
        received = -1;
        errno = EFAULT;
    } else {
        received = ::recv(fd, buffer, kReadSize, 0);
    }
    if (received < 0) {
        const int error = errno;
        lastError = error;
        DebugPrint("Ethernet::Read failed. Error Code %d ::: RetVal %d\n", error, static_cast<int>(received));
    }
    DebugPrint("Ethernet::Read Received %d Bytes \n", static_cast<int>(received));
    return static_cast<int>(received);
}

int Ethernet::ReadReplies(char* buffer, int sliceMs) {
    const int fd = sock_fd.load();
    if (fd < 0) return -1;
    const int ready = WaitReady(fd, POLLIN, std::chrono::milliseconds(sliceMs));
    if (ready <= 0) return ready;
    const ssize_t received = ::recv(fd, buffer, kReadSize, 0);
    if (received > 0) return static_cast<int>(received);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    return -1;
}
