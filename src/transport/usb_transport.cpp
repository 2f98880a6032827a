#include "transport/usb_transport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/debug_log.h"
#include "platform/mutex_thread.h"
#include "transport/usb_ids.h"

namespace {

struct ModelRow {
    const char* name;
    const char* logEntry;
    uint16_t productId;
};

// Compared exactly, case included, in this order.
constexpr ModelRow kModels[] = {
    {"TORQA10", "PRINTER_MODEL_TORQA10\n", kesto::kUsbProductTorqa10},
    {"TORQA12", "PRINTER_MODEL_TORQA12\n", kesto::kUsbProductTorqa12},
    {"TORQA15", "PRINTER_MODEL_TORQA15\n", kesto::kUsbProductTorqa15},
    {"TORQA20", "PRINTER_MODEL_TORQA20\n", kesto::kUsbProductTorqa20},
    {"TORQA20i", "PRINTER_MODEL_TORQA20I\n", kesto::kUsbProductTorqa20i},
    {"TORQA22", "PRINTER_MODEL_TORQA22\n", kesto::kUsbProductTorqa22},
    {"TORQA25", "PRINTER_MODEL_TORQA25\n", kesto::kUsbProductTorqa25},
    {"VANTO500", "PRINTER_MODEL_VANTO500\n", kesto::kUsbProductVanto500},
};

constexpr int kUnknownModelError = 19;

// A stalled endpoint refuses every later transfer until its halt is cleared:
// clear it at once, so that the next call can succeed on the same handle.
void ClearStall(libusb_device_handle* handle, unsigned char endpoint, int result) {
    if (result == LIBUSB_ERROR_PIPE) libusb_clear_halt(handle, endpoint);
}
constexpr int kNoDeviceError = 2;

// One field of a path the detector writes: up to four hex digits.
bool ParseHexField(const char*& text, char end, unsigned& value) {
    value = 0;
    int digits = 0;
    for (; *text != end; ++text, ++digits) {
        const char c = *text;
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0 || digits == 4) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (end != '\0') ++text;
    return digits > 0;
}

// Bus and address of a path "bus:address:interface" (hex) as the detector lists
// it; false for any other text.
bool ParseUsbPath(const std::string& path, unsigned& bus, unsigned& address) {
    const char* text = path.c_str();
    unsigned interfaceNumber = 0;
    return ParseHexField(text, ':', bus) && ParseHexField(text, ':', address) &&
           ParseHexField(text, '\0', interfaceNumber);
}

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

// Opens the printer of the model at the path. False when the path names no
// such printer present; true with the outcome of the open (maybe null) when it
// does, so that a printer that cannot be opened is never swapped for another.
bool OpenAtPath(libusb_context* context, const std::string& path, uint16_t productId,
                libusb_device_handle*& handle) {
    unsigned bus = 0, address = 0;
    if (!ParseUsbPath(path, bus, address)) return false;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    if (count < 0) return false;
    std::unique_ptr<libusb_device*, DeviceListDeleter> list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = raw[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_bus_number(device) != bus || libusb_get_device_address(device) != address ||
            libusb_get_device_descriptor(device, &descriptor) != 0 ||
            descriptor.idVendor != kesto::kUsbVendorId || descriptor.idProduct != productId)
            continue;
        handle = nullptr;
        if (libusb_open(device, &handle) != 0) handle = nullptr;
        return true;
    }
    return false;
}

}  // namespace

USBPort::USBPort(const std::string& devicePath, const std::string& modelName, int readTimeout)
    : model(modelName), path(devicePath), readTimeoutMs(readTimeout) {
    DebugPrint("Inside Constructor\n");
    DebugPrint("Modal is %s\n", model.c_str());
    InitMutex(&mutex);
}

USBPort::~USBPort() {
    DebugPrint("Inside Destructor\n");
    USBPort::Close();
    DestroyMutex(&mutex);
}

bool USBPort::Open() {
    DebugPrint("USBPort::Open\n");
    link.Stop();  // its reader must not read the device this Open replaces
    Lock lock(&mutex);
    // A second Open must not strand the device and context of the first.
    CloseDevice();
    ReleaseContext();

    libusb_context* fresh = nullptr;
    const int result = libusb_init(&fresh);
    if (result < 0) {
        DebugPrint("USBPort Init Error Retrun Value is %d\n", result);
        return connected.load();
    }
    context = fresh;
    libusb_set_option(context, LIBUSB_OPTION_LOG_LEVEL, kLibusbLogLevel);
    Init();
    return connected.load();
}

int USBPort::Init() {
    DebugPrint("Device Modal is %s\n", model.c_str());
    const ModelRow* row = nullptr;
    for (const ModelRow& candidate : kModels) {
        if (model == candidate.name) {
            row = &candidate;
            break;
        }
    }
    if (row == nullptr) {
        DebugPrint("Device Modal is not defined\n");
        lastError.store(kUnknownModelError);
        return 1;
    }
    DebugPrint("%s", row->logEntry);

    // A path naming a present printer of the model picks it among identical
    // ones; any other path (an old description, a printer re-plugged at a new
    // address) takes the first of the model.
    libusb_device_handle* handle = nullptr;
    if (!OpenAtPath(context, path, row->productId, handle))
        handle = libusb_open_device_with_vid_pid(context, kesto::kUsbVendorId, row->productId);
    deviceHandle.store(handle);
    lastError.store(errno);
    if (handle == nullptr) {
        connected.store(false);
        lastError.store(kNoDeviceError);
        DebugPrint("Could not Claimed Interface %d\n", kNoDeviceError);
        return 1;
    }

    if (libusb_kernel_driver_active(handle, kesto::kUsbInterface) == 1) {
        DebugPrint("Kernel Driver Active\n");
        if (libusb_detach_kernel_driver(handle, kesto::kUsbInterface) != 0) {
            DebugPrint("Couldn't detach kernel driver!\n");
            libusb_close(handle);
            deviceHandle.store(nullptr);
            return 1;
        }
        DebugPrint("Kernel Driver Detached!\n");
        kernelDriver.interfaceNumber = kesto::kUsbInterface;
        kernelDriver.detached = true;
    }

    if (libusb_claim_interface(handle, kesto::kUsbInterface) >= 0) {
        DebugPrint("Claimed Interface\n");
        connected.store(true);
        return 1;
    }
    lastError.store(errno);
    DebugPrint("Cannot Claim Interface\n");
    // Give the interface back to the system's driver we took it from.
    if (kernelDriver.detached) {
        libusb_attach_kernel_driver(handle, kernelDriver.interfaceNumber);
        kernelDriver.detached = false;
    }
    libusb_close(handle);
    deviceHandle.store(nullptr);
    return 1;
}

int USBPort::Close() {
    link.Stop();
    Lock lock(&mutex);
    CloseDevice();
    ReleaseContext();
    return 1;
}

void USBPort::CloseDevice() {
    libusb_device_handle* handle = deviceHandle.load();
    if (handle != nullptr) {
        DebugPrint("USBPort::Closed\n");
        // The kernel binds its driver again only to a free interface, so the
        // claim goes first.
        if (connected.load()) libusb_release_interface(handle, kesto::kUsbInterface);
        if (kernelDriver.detached) {
            libusb_attach_kernel_driver(handle, kernelDriver.interfaceNumber);
            kernelDriver.detached = false;
        }
        libusb_close(handle);
        deviceHandle.store(nullptr);
    }
    connected.store(false);
}

void USBPort::ReleaseContext() {
    if (context != nullptr) {
        libusb_exit(context);
        context = nullptr;
    }
}

int USBPort::Write(const char* data, int length, int timeout) {
    const unsigned int transferTimeout =
        timeout != 0 ? static_cast<unsigned int>(timeout) : kDefaultTimeoutMs;
    if (deviceHandle.load() == nullptr || data == nullptr) return 0;
    Lock lock(&mutex);
    libusb_device_handle* handle = deviceHandle.load();
    if (handle == nullptr) return 0;  // closed while we waited for the lock

    int total = 0;
    while (total < length) {
        int transferred = 0;
        // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
        unsigned char* position = reinterpret_cast<unsigned char*>(const_cast<char*>(data)) + total;
        const int result = libusb_bulk_transfer(handle, kesto::kUsbEndpointOut, position, length - total,
                                                &transferred, transferTimeout);
        if (result < 0) {
            const int error = errno;
            lastError.store(error);
            DebugPrint("Write::libusb_bulk_transfer failed. Error Code %d :: RetVal %d\n", error, result);
            // The bytes a failing transfer moved reached the printer: a caller that
            // resends from the count must not print them twice.
            if (transferred > 0) total += transferred;
            ClearStall(handle, kesto::kUsbEndpointOut, result);
            break;
        }
        if (transferred <= 0) break;
        total += transferred;
    }
    return total;
}

int USBPort::Read(char* buffer, int /*unused*/) {
    return ReadUnlessStopping(buffer, nullptr);
}

int USBPort::ReadUnlessStopping(char* buffer, const std::atomic<bool>* stop) {
    libusb_device_handle* handle = deviceHandle.load();
    if (handle == nullptr || buffer == nullptr) return 0;

    int transferred = 0;
    int result;
    int error;
    if (stop == nullptr) {
        result = libusb_bulk_transfer(handle, kesto::kUsbEndpointIn, reinterpret_cast<unsigned char*>(buffer),
                                      kReadSize, &transferred, static_cast<unsigned int>(readTimeoutMs));
        error = errno;
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
        for (;;) {
            if (kesto::StopRequested(stop)) {
                DebugPrint("USBPort::Read abandoned: the status thread is stopping\n");
                return 0;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const long long slice = std::max<long long>(1, std::min<long long>(left.count(), 200));
            result =
                libusb_bulk_transfer(handle, kesto::kUsbEndpointIn, reinterpret_cast<unsigned char*>(buffer),
                                     kReadSize, &transferred, static_cast<unsigned int>(slice));
            error = errno;
            if (result != LIBUSB_ERROR_TIMEOUT || transferred > 0 || left.count() <= 200) break;
        }
    }
    if (result == 0 && transferred > 0) {
        DebugPrint("USBPort::Read Received %d Bytes\n", transferred);
    } else if (result == LIBUSB_ERROR_TIMEOUT) {
        DebugPrint("DEBUG: Got USB transaction timeout during read.\n");
    } else if (result == LIBUSB_ERROR_PIPE) {
        DebugPrint("DEBUG: Got USB pipe stalled during read.\n");
    } else if (result == LIBUSB_ERROR_INTERRUPTED) {
        DebugPrint("DEBUG: Got USB return aborted during read.\n");
    }
    if (result < 0) {
        lastError.store(error);
        DebugPrint("Read::libusb_bulk_transfer failed. Error Code %d ::: RetVal %d\n", error, result);
        ClearStall(handle, kesto::kUsbEndpointIn, result);
    }
    return transferred;
}

int USBPort::ReadReplies(char* buffer, int sliceMs) {
    libusb_device_handle* handle = deviceHandle.load();
    if (handle == nullptr) return -1;
    int transferred = 0;
    const int result =
        libusb_bulk_transfer(handle, kesto::kUsbEndpointIn, reinterpret_cast<unsigned char*>(buffer),
                             kReadSize, &transferred, static_cast<unsigned int>(sliceMs));
    if (transferred > 0 || result == 0 || result == LIBUSB_ERROR_TIMEOUT) return transferred;
    ClearStall(handle, kesto::kUsbEndpointIn, result);
    return result == LIBUSB_ERROR_PIPE ? 0 : -1;
}

void USBPort::SetPrinterStatusNotifyCallBack(int (*callback)(int)) {
    DebugPrint("USBPort::SetPrinterStatusNotifyCallBack\n");
    StatusTransport::SetPrinterStatusNotifyCallBack(callback);
}
