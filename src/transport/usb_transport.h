#pragma once

#include <libusb.h>
#include <pthread.h>

#include <atomic>
#include <string>

#include "transport/status_transport.h"

// A USB printer of the family, reached with libusb bulk transfers: printing
// data goes out on endpoint 0x02, status comes in on 0x81, both on interface 0.
// The device is the printer with the family's vendor id and the product id of
// the model name (see usb_ids.h) at the path "bus:address:interface" the
// detector lists; when the path names no such printer present, the first
// printer of the model.
//
// Open and Write hold the transport's mutex for their whole length, and so
// does Close, so that a handle is never closed under a running write. Read
// and GetPrinterStatus take no lock: a status read may run during a write,
// the two using different endpoints.
//
// Each Open makes its own libusb context; Close (and the destructor, and the
// next Open) releases it again, together with the device.
class USBPort : public kesto::StatusTransport<USBPort> {
public:
    // A posted stop event ends the poll at once.
    static constexpr kesto::StopEventPolicy kStopEventPolicy = kesto::StopEventPolicy::kEndPoll;
    static constexpr int kDefaultTimeoutMs = 60000;
    static constexpr int kReadSize = 256;
    static constexpr int kLibusbLogLevel = 3;

    // readTimeoutMs is the limit of one status read; production code keeps
    // the default, tests shorten it.
    USBPort(const std::string& path, const std::string& model, int readTimeoutMs = kDefaultTimeoutMs);
    ~USBPort() override;

    // Writes in bulk transfers of the remaining bytes until all went out or a
    // transfer fails. timeout: per transfer in ms, 0 = 60,000. Returns every
    // byte that reached the printer, those a failing or timed-out transfer
    // moved included; 0 without a device. A stalled endpoint's halt is cleared
    // before the failure returns. A transfer that succeeds without moving a
    // byte also ends the write, so a device that takes nothing cannot hold the
    // caller for ever.
    int Write(const char* data, int length, int timeout) override;
    // One bulk transfer of at most 256 bytes (the buffer must hold 256) from
    // endpoint 0x81; the bytes that arrived, also before a time-out or error;
    // 0 without a device.
    int Read(char* buffer, int unused) override;

    // Makes a libusb context, finds, opens and claims the device; returns
    // the connected flag. A device still open from an earlier Open is
    // closed first.
    bool Open() override;
    // Stops the link's reader, releases interface 0, attaches the kernel driver again if Open detached
    // it, closes the device and frees the libusb context; always 1.
    int Close() override;
    void SetPrinterStatusNotifyCallBack(int (*callback)(int)) override;

    // Finds, opens and claims the device in the current context; always 1,
    // the outcome is in the connected flag and the last error. The caller
    // holds the mutex (Open does).
    int Init();

private:
    friend class kesto::StatusTransport<USBPort>;

    // Read, in short slices once a stop flag is given, giving up (0) when it
    // becomes true; the whole read still waits the full time-out.
    int ReadUnlessStopping(char* buffer, const std::atomic<bool>* stop);
    // The link's read: one transfer of at most sliceMs, logs nothing; -1
    // without a device or once it is gone.
    int ReadReplies(char* buffer, int sliceMs);
    int ReplyWaitMs() const { return readTimeoutMs; }
    // Callers hold the mutex.
    void CloseDevice();
    void ReleaseContext();

    struct KernelDriverRecord {
        int interfaceNumber = 0;
        bool detached = false;
    };

    std::string model;
    std::atomic<libusb_device_handle*> deviceHandle{nullptr};
    libusb_context* context = nullptr;
    std::string path;
    pthread_mutex_t mutex;
    KernelDriverRecord kernelDriver;
    const int readTimeoutMs;
};
