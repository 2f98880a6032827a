#pragma once

// A loopback TCP server for the benchmarks: accepts any number of clients and
// reads and drops everything they send, on one thread of its own.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kesto::bench {

class LoopbackSink {
public:
    LoopbackSink();
    ~LoopbackSink();
    LoopbackSink(const LoopbackSink&) = delete;
    LoopbackSink& operator=(const LoopbackSink&) = delete;

    int Port() const { return port_; }
    // "<device><type>ETH</type><path>127.0.0.1:PORT</path></device>"
    std::string Description() const;
    uint64_t BytesDrained() const { return drained_.load(); }
    // A plain blocking client socket connected to the sink; the caller closes it.
    int Connect() const;  // a client socket with TCP_NODELAY, as the library connects

private:
    void Run();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<uint64_t> drained_{0};
    std::thread thread_;
};

}  // namespace kesto::bench
