#include "detect/hardware_detector.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/mutex_thread.h"
#include "platform/notification_channel.h"
#include "printer/device_handle.h"
#include "printer/printer.h"
#include "transport/usb_ids.h"

namespace kesto {

struct HardwareChangeChannel {
    std::mutex lock;  // held while the host's callback runs
    void (*callback)(void*) = nullptr;
    NotificationStop stop;
};

}  // namespace kesto

namespace {

using kesto::HardwareChangeChannel;

// The channel whose callback this thread is running, if any: lets KillThread
// see that the host destroys the detector from inside its own callback.
thread_local HardwareChangeChannel* deliveringOn = nullptr;

// Given to the channel in place of the host's callback: looks the callback up
// under the lock at every notification, so a cleared callback is never called.
void DeliverNotification(void* context) {
    auto* channel = static_cast<HardwareChangeChannel*>(context);
    std::lock_guard<std::mutex> hold(channel->lock);
    if (channel->callback == nullptr) return;
    deliveringOn = channel;
    try {
        channel->callback(nullptr);
    } catch (...) {
        // A host exception must not end the thread (and with it the process).
    }
    deliveringOn = nullptr;
}

struct ContextDeleter {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
struct ConfigDeleter {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

// Appends the records of one device of the family.
void AddPrinterInterfaces(libusb_device* device, std::list<DetectedPrinter*>& printers) {
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(device, &raw) < 0) return;
    std::unique_ptr<libusb_config_descriptor, ConfigDeleter> config(raw);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int alt = 0; alt < interface.num_altsetting; ++alt) {
            const libusb_interface_descriptor& setting = interface.altsetting[alt];
            if (setting.bInterfaceClass != LIBUSB_CLASS_PRINTER) continue;
            std::string path = make_path(device, setting.bInterfaceNumber);
            DebugPrint("Dev Path=%s \n", path.c_str());
            std::unique_ptr<DetectedPrinter> record(
                DetectedPrinter::Create(path, PrinterTypeUsb, static_cast<unsigned int>(path.size())));
            if (record) {
                printers.push_back(record.get());
                (void)record.release();  // the list owns it now
            }
        }
    }
}

}  // namespace

namespace kesto {

std::string FormatUsbPath(unsigned bus, unsigned address, unsigned interfaceNumber) {
    char text[64];
    std::snprintf(text, sizeof text, "%04x:%04x:%02x", bus, address, interfaceNumber);
    return text;
}

std::string BuildPrinterList(const std::list<DetectedPrinter*>& printers) {
    std::string list = "<kestoprinters>";
    for (DetectedPrinter* printer : printers) list += printer->ToXmlString();
    list += "</kestoprinters>";
    return list;
}

int CopyTextResult(const std::string& text, char* buffer, size_t bufferSize) {
    const size_t needed = text.size() + 1;
    if (needed > static_cast<size_t>(INT_MAX)) return -1;
    if (buffer == nullptr) return static_cast<int>(needed);
    if (bufferSize < needed) return -1;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<int>(needed);
}

}  // namespace kesto

std::string make_path(libusb_device* device, int interfaceNumber) {
    return kesto::FormatUsbPath(libusb_get_bus_number(device), libusb_get_device_address(device),
                                static_cast<unsigned>(interfaceNumber) & 0xffu);
}

void DetectUsbPrinters(std::list<DetectedPrinter*>& printers) {
    DebugPrint("KESTOHardwareDetector DetectUsbPrinters\n");
    libusb_context* rawContext = nullptr;
    int result = libusb_init(&rawContext);
    if (result < 0) {
        std::printf("Init Error %d\n", result);
        std::fflush(stdout);
        DebugPrint("KESTOHardwareDetector libusb_init");
        return;
    }
    std::unique_ptr<libusb_context, ContextDeleter> context(rawContext);

    libusb_device** rawList = nullptr;
    ssize_t count = libusb_get_device_list(context.get(), &rawList);
    if (count < 0) {
        DebugPrint("Got libusb_get_device_list Error numDevs is %d\n", static_cast<int>(count));
        return;
    }
    std::unique_ptr<libusb_device*, DeviceListDeleter> list(rawList);

    for (libusb_device** entry = list.get(); *entry != nullptr; ++entry) {
        libusb_device* device = *entry;
        libusb_device_descriptor descriptor;
        if (libusb_get_device_descriptor(device, &descriptor) < 0) {
            DebugPrint("failed to get device descriptor Error is %d\n", errno);
            return;
        }
        if (descriptor.idVendor != kesto::kUsbVendorId ||
            descriptor.idProduct != kesto::kUsbDetectedProductId) {
            continue;
        }
        DebugPrint("%04x:%04x (bus %d, device %d)\n", descriptor.idVendor, descriptor.idProduct,
                   libusb_get_bus_number(device), libusb_get_device_address(device));
        AddPrinterInterfaces(device, printers);
    }
}

KESTOHardwareDetector::KESTOHardwareDetector()
    : threadHandle(0),
      notificationHandle(nullptr),
      channel(std::make_shared<kesto::HardwareChangeChannel>()) {
    DebugPrint("KESTOHardwareDetector Constructor\n");
    InitMutex(&mutex);
}

KESTOHardwareDetector::~KESTOHardwareDetector() {
    DebugPrint("KESTOHardwareDetector Destructor\n");
    KillThread();
    DestroyMutex(&mutex);
    for (DetectedPrinter* printer : printers) delete printer;
}

void KESTOHardwareDetector::StartThread(void (*callback)(void*)) {
    {
        std::lock_guard<std::mutex> hold(channel->lock);
        channel->callback = callback;
    }
    if (threadHandle != 0) return;  // already listening; only the callback changes
    threadHandle = CreateGenericThread(&KESTOHardwareDetector::HardwareChangeThreadEntry, nullptr, this);
    DebugPrint("KESTOHardwareDetector StartThread\n");
    if (threadHandle == 0 && callback != nullptr) callback(nullptr);
}

void* KESTOHardwareDetector::HardwareChangeThreadEntry(void* arg) {
    DebugPrint("KESTOHardwareDetector HardwareChangeThreadEntry\n");
    if (arg == nullptr) return nullptr;
    return static_cast<KESTOHardwareDetector*>(arg)->HardwareChangeThread();
}

void* KESTOHardwareDetector::HardwareChangeThread() {
    DebugPrint("KESTOHardwareDetector HardwareChangeThread\n");
    // The callback may delete this detector; from here on only the shared channel is used.
    std::shared_ptr<kesto::HardwareChangeChannel> own = channel;
    kesto::MonitorDeviceNotificationUntil(notificationHandle, &DeliverNotification, own.get(), &own->stop);
    return nullptr;
}

void KESTOHardwareDetector::OnHardwareChange(int) {
    DebugPrint("KESTOHardwareDetector OnHardwareChange\n");
}

std::string KESTOHardwareDetector::GetHardwareXml() {
    Lock hold(&mutex);
    DebugPrint("KESTOHardwareDetector GetHardwareXml\n");
    // No record outlives this call, also when building the list throws.
    struct ReleaseRecords {
        std::list<DetectedPrinter*>& records;
        ~ReleaseRecords() {
            for (DetectedPrinter* printer : records) delete printer;
            records.clear();
        }
    } release{printers};
    for (DetectedPrinter* printer : printers) delete printer;
    printers.clear();
    DetectUsbPrinters(printers);
    return kesto::BuildPrinterList(printers);
}

void KESTOHardwareDetector::KillThread() {
    const bool onChangeThread = deliveringOn == channel.get();
    if (onChangeThread) {
        channel->callback = nullptr;  // this thread holds the lock: we are inside the callback
    } else {
        std::lock_guard<std::mutex> hold(channel->lock);
        channel->callback = nullptr;
    }
    DebugPrint("KESTOHardwareDetector KillThread\n");
    if (notificationHandle != nullptr) DestroyDeviceNotification(notificationHandle);
    if (threadHandle != 0) {
        channel->stop.Request();
        if (onChangeThread) {
            ::pthread_detach(threadHandle);  // it ends on its own once the callback returns
        } else {
            ::pthread_join(threadHandle, nullptr);
        }
        threadHandle = 0;
    }
}

extern "C" {

KESTO_API void* KESTO_CreateHardwareDetector(void (*callback)(void*)) {
    return kesto::Guarded<void*>(nullptr, [&]() -> void* {
        auto detector = std::make_unique<KESTOHardwareDetector>();
        detector->StartThread(callback);
        return detector.release();
    });
}

KESTO_API int KESTO_GetHardwareXML(void* detector, char* buffer, size_t bufferSize) {
    if (detector == nullptr) return -1;
    return kesto::Guarded(-1, [&] {
        const std::string list = static_cast<KESTOHardwareDetector*>(detector)->GetHardwareXml();
        return kesto::CopyTextResult(list, buffer, bufferSize);
    });
}

KESTO_API int KESTO_DestroyHardwareDetector(void* detector) {
    kesto::Guarded(0, [&] {
        delete static_cast<KESTOHardwareDetector*>(detector);
        return 0;
    });
    return 1;
}

}  // extern "C"
