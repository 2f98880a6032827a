#pragma once

// The core of kesto-hotplugd: watches the printer family's USB devices come
// and go with libusb's hot-plug API and tells every driver-library instance
// on this machine through its loopback notification endpoint. It stands on
// its own: libusb only, not the driver library.

#include <libusb.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "transport/usb_ids.h"

namespace kesto::hotplug {

constexpr int kFamilyVendorId = kUsbVendorId;
// The model the library lists; the only one by default.
constexpr int kListedProductId = kUsbDetectedProductId;
// Stands for every product of the vendor.
constexpr int kAnyProduct = -1;

// A loopback UDP endpoint of a listening library.
struct Endpoint {
    std::string host;  // dotted IPv4 address
    int port = 0;
};

struct Options {
    int vendorId = kFamilyVendorId;
    int productId = kListedProductId;
    bool once = false;     // exit after the first change
    bool verbose = false;  // one line per change and per message sent
    bool help = false;
    // Where the messages go instead of the library's endpoint table
    // (--endpoint HOST:PORT, repeatable; not in the usage text: for tests).
    std::vector<Endpoint> endpoints;
};

// Parses the arguments after the program name. False, with a message in
// error, for an unknown option or a bad value.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);
std::string Usage(const std::string& program);

enum class Change { kAdded, kRemoved };

// The message text of a change: "DEVICE_ADD" or "DEVICE_REMOVE".
const char* MessageFor(Change change);

// Sends text as one datagram to every endpoint (the library's table when
// endpoints is empty); returns how many took it. A missing listener is no
// failure: UDP does not tell.
int SendToAllEndpoints(const std::string& text, const std::vector<Endpoint>& endpoints = {},
                       std::ostream* log = nullptr);

struct DeviceChange {
    Change change;
    uint16_t vendorId;
    uint16_t productId;
    int bus;
    int address;
};

class Notifier {
public:
    // log: where the verbose lines go, or null for none.
    explicit Notifier(const Options& options, std::ostream* log = nullptr);
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Makes the libusb context and registers for the devices of the options.
    // Devices already attached are not announced. False with a message when
    // libusb cannot be set up or has no hot-plug support.
    bool Start(std::string& error);
    // Handles libusb's events in waits of at most kEventWaitMs, sending one
    // message per change, until a stop is requested, stopNow (when given,
    // asked after every wait) returns true or, with --once, the first change
    // was sent. Returns 0, or 1 when event handling failed.
    int Run(bool (*stopNow)() = nullptr);
    // From any thread: wakes Run, which then ends.
    void Stop();

    // Every change handled so far, in order.
    std::vector<DeviceChange> Changes() const;

    static constexpr int kEventWaitMs = 250;

private:
    static int LIBUSB_CALL OnHotplug(libusb_context* context, libusb_device* device,
                                     libusb_hotplug_event event, void* self);
    void Handle(libusb_device* device, Change change);

    const Options options;
    std::ostream* const log;
    libusb_context* context = nullptr;
    libusb_hotplug_callback_handle callbackHandle = 0;
    bool registered = false;
    std::atomic<bool> stopRequested{false};

    mutable std::mutex changesLock;
    std::vector<DeviceChange> changes;
};

}  // namespace kesto::hotplug
