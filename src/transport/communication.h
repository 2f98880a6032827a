#pragma once

// The byte stream between the library and one printer. Slot order matters to
// nothing outside the library but is kept as the transports were designed.
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

    Communication(const Communication&) = delete;
    Communication& operator=(const Communication&) = delete;
};
