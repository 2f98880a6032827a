#include "hotplug_notifier.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/notification_endpoints.h"

namespace kesto::hotplug {

namespace {

// A USB id in hex, with or without "0x"; -1 when it is not one.
int ParseUsbId(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 4) return -1;
    for (char c : digits) {
        if (std::strchr("0123456789abcdefABCDEF", c) == nullptr) return -1;
    }
    return static_cast<int>(std::strtol(digits.c_str(), nullptr, 16));
}

// "HOST:PORT" with a dotted IPv4 host and a port of 1-65535.
bool ParseEndpoint(const std::string& text, Endpoint& endpoint) {
    const std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    in_addr address;
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1) return false;
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    endpoint.host = host;
    endpoint.port = std::atoi(port.c_str());
    return endpoint.port >= 1 && endpoint.port <= 65535;
}

std::string Hex4(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value) & 0xffffu);
    return text;
}

class UdpSocket {
public:
    UdpSocket() : fd(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
    ~UdpSocket() {
        if (fd >= 0) ::close(fd);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    const int fd;
};

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool hasValue = false;
        const std::string::size_type equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasValue = true;
        }
        const bool takesValue = argument == "--vendor" || argument == "--product" || argument == "--endpoint";
        if (takesValue && !hasValue) {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return false;
            }
            value = argv[++i];
            hasValue = true;
        }
        if (hasValue && !takesValue) {
            error = argument + " takes no value";
            return false;
        }

        if (argument == "--once") {
            options.once = true;
        } else if (argument == "--verbose" || argument == "-v") {
            options.verbose = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--vendor") {
            const int id = ParseUsbId(value);
            if (id < 0) {
                error = "--vendor wants a hexadecimal USB id, not '" + value + "'";
                return false;
            }
            options.vendorId = id;
        } else if (argument == "--product") {
            const int id = value == "any" ? kAnyProduct : ParseUsbId(value);
            if (id < 0 && value != "any") {
                error = "--product wants a hexadecimal USB id or 'any', not '" + value + "'";
                return false;
            }
            options.productId = id;
        } else if (argument == "--endpoint") {
            Endpoint endpoint;
            if (!ParseEndpoint(value, endpoint)) {
                error = "--endpoint wants HOST:PORT with an IPv4 address, not '" + value + "'";
                return false;
            }
            options.endpoints.push_back(endpoint);
        } else {
            error = "unknown option '" + argument + "'";
            return false;
        }
    }
    return true;
}

std::string Usage(const std::string& program) {
    return "usage: " + program +
           " [--once] [--verbose] [--vendor ID] [--product ID|any]\n"
           "Tells the printer driver on this machine when a printer is plugged in or pulled out.\n"
           "  --once         exit after the first change\n"
           "  --verbose, -v  report every change and message on standard error\n"
           "  --vendor ID    USB vendor id in hex (default " +
           Hex4(kFamilyVendorId) +
           ")\n"
           "  --product ID   USB product id in hex, or 'any' for every product of the vendor (default " +
           Hex4(kListedProductId) + ")\n";
}

const char* MessageFor(Change change) {
    return change == Change::kAdded ? "DEVICE_ADD" : "DEVICE_REMOVE";
}

int SendToAllEndpoints(const std::string& text, const std::vector<Endpoint>& endpoints, std::ostream* log) {
    UdpSocket socket;
    if (socket.fd < 0) {
        if (log != nullptr) *log << "kesto-hotplugd: no UDP socket: " << std::strerror(errno) << "\n";
        return 0;
    }
    std::vector<Endpoint> table = endpoints;
    if (table.empty()) {
        for (int index = 0; index < kNotificationEndpoints; ++index)
            table.push_back(Endpoint{kNotificationHosts[index], kNotificationPorts[index]});
    }
    int delivered = 0;
    for (const Endpoint& endpoint : table) {
        const char* const host = endpoint.host.c_str();
        const int port = endpoint.port;
        sockaddr_in address;
        std::memset(&address, 0, sizeof address);
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        if (::inet_pton(AF_INET, host, &address.sin_addr) != 1) continue;
        const ssize_t sent = ::sendto(socket.fd, text.data(), text.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent == static_cast<ssize_t>(text.size())) {
            ++delivered;
        } else if (log != nullptr) {
            *log << "kesto-hotplugd: " << text << " to " << host << ":" << port
                 << " failed: " << std::strerror(errno) << "\n";
        }
    }
    if (log != nullptr) *log << "kesto-hotplugd: sent " << text << " to " << delivered << " endpoints\n";
    return delivered;
}

Notifier::Notifier(const Options& opts, std::ostream* logStream) : options(opts), log(logStream) {}

Notifier::~Notifier() {
    if (context == nullptr) return;
    if (registered) libusb_hotplug_deregister_callback(context, callbackHandle);
    libusb_exit(context);
}

bool Notifier::Start(std::string& error) {
    if (context != nullptr) return true;
    const int result = libusb_init(&context);
    if (result < 0) {
        context = nullptr;
        error = std::string("libusb cannot start: ") + libusb_error_name(result);
        return false;
    }
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        error = "this libusb cannot report devices arriving and leaving";
        return false;
    }
    const int registration = libusb_hotplug_register_callback(
        context,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_NO_FLAGS, options.vendorId,
        options.productId == kAnyProduct ? LIBUSB_HOTPLUG_MATCH_ANY : options.productId,
        LIBUSB_HOTPLUG_MATCH_ANY, &Notifier::OnHotplug, this, &callbackHandle);
    if (registration != LIBUSB_SUCCESS) {
        error = std::string("hot-plug registration failed: ") + libusb_error_name(registration);
        return false;
    }
    registered = true;
    if (log != nullptr) {
        *log << "kesto-hotplugd: watching " << Hex4(options.vendorId) << ":"
             << (options.productId == kAnyProduct ? std::string("any") : Hex4(options.productId)) << "\n";
    }
    return true;
}

int Notifier::Run(bool (*stopNow)()) {
    if (context == nullptr || !registered) return 1;
    while (!stopRequested.load()) {
        timeval wait{0, static_cast<suseconds_t>(kEventWaitMs) * 1000};
        const int result = libusb_handle_events_timeout_completed(context, &wait, nullptr);
        if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED) {
            if (log != nullptr)
                *log << "kesto-hotplugd: event handling failed: " << libusb_error_name(result) << "\n";
            return 1;
        }
        if (options.once && !Changes().empty()) break;
        if (stopNow != nullptr && stopNow()) break;
    }
    if (log != nullptr) *log << "kesto-hotplugd: stopped\n";
    return 0;
}

void Notifier::Stop() {
    stopRequested.store(true);
    if (context != nullptr) libusb_interrupt_event_handler(context);
}

std::vector<DeviceChange> Notifier::Changes() const {
    std::lock_guard<std::mutex> hold(changesLock);
    return changes;
}

int LIBUSB_CALL Notifier::OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                    void* self) {
    auto* notifier = static_cast<Notifier*>(self);
    notifier->Handle(device,
                     event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? Change::kAdded : Change::kRemoved);
    return 0;  // stay registered
}

void Notifier::Handle(libusb_device* device, Change change) {
    libusb_device_descriptor descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    libusb_get_device_descriptor(device, &descriptor);  // cached by libusb, also for a device that left
    const DeviceChange seen{change, descriptor.idVendor, descriptor.idProduct, libusb_get_bus_number(device),
                            libusb_get_device_address(device)};
    if (log != nullptr) {
        *log << "kesto-hotplugd: " << Hex4(seen.vendorId) << ":" << Hex4(seen.productId) << " (bus "
             << seen.bus << ", device " << seen.address << ") "
             << (change == Change::kAdded ? "arrived" : "left") << "\n";
    }
    // The libraries learn only that something changed; they enumerate again themselves.
    SendToAllEndpoints(MessageFor(change), options.endpoints, log);
    std::lock_guard<std::mutex> hold(changesLock);
    changes.push_back(seen);
}

}  // namespace kesto::hotplug
