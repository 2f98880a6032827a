#pragma once

#include <atomic>

namespace kesto {

class PrinterLink;

// One status poll's outcome: the status code, and whether the poll got no byte
// from the printer at all (every read failed, timed out or found the
// connection gone), which a polling loop takes as a reason to pause.
struct StatusPoll {
    int code = 0;
    bool readNothing = false;
};

}  // namespace kesto

// The byte stream between the library and one printer. The first five slots
// keep the order the transports were designed with.
class Communication {
public:
    Communication() = default;
    virtual ~Communication();

    // Writes length bytes; timeout is the USB per-transfer time-out in ms (0 = default).
    // Returns the number of bytes written (Ethernet: -1 on a fatal error).
    virtual int Write(const char* data, int length, int timeout) = 0;
    // Reads at most 256 bytes into buffer (which must hold 256); the int is unused.
    virtual int Read(char* buffer, int unused) = 0;
    // One status poll: reads, decodes and reports a status code to the callback.
    virtual int GetPrinterStatus() = 0;
    // The error number of the transport's last failure.
    virtual int GetLastError() = 0;

    // The status poll of a polling loop: GetPrinterStatus, except that a read
    // waiting for the printer gives up within a fraction of a second once
    // *stop becomes true; the poll then reports 0 without decoding or calling
    // back. A null stop waits the reads' full time-out, as GetPrinterStatus does.
    virtual kesto::StatusPoll PollStatus(const std::atomic<bool>* stop) = 0;

    // The printer's state, state callback, confirmations and reader; null for
    // a transport without one.
    virtual kesto::PrinterLink* Link() { return nullptr; }

    Communication(const Communication&) = delete;
    Communication& operator=(const Communication&) = delete;
};
