#pragma once

#include <netinet/in.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <string>

#include "transport/status_transport.h"

// The fixed time-outs of the TCP transport. Production code always uses the
// defaults; tests shorten them to keep the suite fast.
struct EthernetTimeouts {
    std::chrono::milliseconds connect{5000};  // wait for a non-blocking connect
    std::chrono::milliseconds send{5000};     // SO_SNDTIMEO and each wait for writability
    std::chrono::milliseconds receive{5000};  // SO_RCVTIMEO and the wait for readability
};

// One IPv4 TCP connection to a network printer's raw printing port.
//
// The path is "host:port" (a host name or dotted address, a colon, a decimal
// port). Nothing connects until Open. The socket is non-blocking and
// close-on-exec for its whole life.
//
// Open and Write hold the transport's mutex for their whole length, so
// writes from several threads never interleave on the wire. Read,
// GetPrinterStatus and Close take no lock.
//
// Write behaviour worth knowing:
//  - a connection the printer closed makes Write fail with -1 and keeps the
//    errno (EPIPE, ECONNRESET) as last error; no SIGPIPE reaches the host;
//  - each wait for writability lasts the send time-out (5 s) and logs
//    "Ethernet Write Time out"; after kMaxConsecutiveWriteTimeouts (12, that
//    is 60 s, the USB transport's default per-transfer time-out) consecutive
//    time-outs without a byte going out, Write fails with -1 and last error
//    ETIMEDOUT. The count starts again whenever bytes go out.
//
// Time-outs of the connect, of a write wait and of a read store ETIMEDOUT as
// last error; a refused or failed connect stores the socket's own error
// (e.g. ECONNREFUSED).
class Ethernet : public kesto::StatusTransport<Ethernet> {
public:
    // A posted stop event is logged; the poll reads all the same.
    static constexpr kesto::StopEventPolicy kStopEventPolicy = kesto::StopEventPolicy::kLogAndRead;
    static constexpr int kMaxConsecutiveWriteTimeouts = 12;
    static constexpr int kReadSize = 256;
    static constexpr int kNoPortInformation = 112;

    explicit Ethernet(const std::string& path, const EthernetTimeouts& timeouts = EthernetTimeouts());
    ~Ethernet() override;

    // Bytes written (all of them), or -1 on a fatal error. No socket: 0.
    // The third argument (a USB per-transfer time-out) is not used.
    int Write(const char* data, int length, int unusedTimeout) override;
    // Bytes read (at most 256; the buffer must hold 256), 0 when there is no
    // socket or the printer closed the connection, -1 on time-out or error.
    int Read(char* buffer, int unused) override;

    // Parses the path and connects; true when connected.
    bool Open() override;
    // Stops the link's reader, closes the socket if there is one; always 1.
    int Close() override;

    // Parses the path and connects; the caller holds the mutex (Open does).
    bool Init();

    // What Init parsed out of the path, and the socket (-1 for none).
    const std::string& PrinterIP() const { return szPrinterIP; }
    const std::string& PrinterPort() const { return szPrinterPort; }
    int PortNo() const { return nPortNo; }
    int SocketFd() const { return sock_fd.load(); }

private:
    friend class kesto::StatusTransport<Ethernet>;

    void CloseSocket();
    // The steps of Init after the socket is made; false (last error set) on failure.
    bool ResolvePrinterAddress();
    bool ConnectWithinTimeout(int fd);
    // Read, giving up within a slice once *stop becomes true (then -1).
    int ReadUnlessStopping(char* buffer, const std::atomic<bool>* stop);
    // The link's read: waits up to sliceMs, logs nothing; -1 once the
    // connection is gone or closed.
    int ReadReplies(char* buffer, int sliceMs);
    int ReplyWaitMs() const { return static_cast<int>(timeouts.receive.count()); }

    sockaddr_in printerAddress{};
    int nPortNo = 0;
    std::atomic<int> sock_fd{-1};
    // The socket that already has its send time-out (under the mutex): set once
    // per connection instead of on every Write.
    int sendTimeoutFd = -1;
    const std::string path;
    std::string szPrinterIP;
    std::string szPrinterPort;
    pthread_mutex_t mutex;
    const EthernetTimeouts timeouts;
};
