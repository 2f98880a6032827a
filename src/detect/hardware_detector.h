#pragma once

#include <libusb.h>
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "detect/detected_printer.h"
#include "platform/export.h"
#include "platform/uncopyable.h"

namespace kesto {
struct HardwareChangeChannel;
}

// Answers which printers of the family are attached (a fresh USB enumeration per
// request) and runs one thread that calls the host back on hot-plug notifications.
//
// The callback runs on the detector's thread. Once KillThread (the destructor)
// has begun, it is never called again: KillThread waits for a call in progress,
// clears the callback, stops the notification channel and joins the thread.
// The callback may destroy its own detector; it must not wait for a thread that
// is destroying that detector.
class KESTO_API KESTOHardwareDetector : Uncopyable {
public:
    KESTOHardwareDetector();
    ~KESTOHardwareDetector();

    // Stores the callback and starts the hardware-change thread. If the thread
    // cannot start, a non-null callback is called once at once, so the host asks
    // for the list; the detector then works without notifications.
    void StartThread(void (*callback)(void*));
    static void* HardwareChangeThreadEntry(void* arg);
    void* HardwareChangeThread();
    void OnHardwareChange(int);
    // The printer list; serialised by mutex.
    std::string GetHardwareXml();
    void KillThread();

    // Records of one GetHardwareXml call; empty between calls.
    std::list<DetectedPrinter*> printers;
    pthread_t threadHandle;
    // Handed to the channel, closed by KillThread when set; the detector never sets it.
    int* notificationHandle;
    pthread_mutex_t mutex;

private:
    // The callback and the channel's stop, shared with the thread so that a
    // callback that destroys its detector leaves the thread something to finish with.
    std::shared_ptr<kesto::HardwareChangeChannel> channel;
};

namespace kesto {

// "bbbb:dddd:ii": bus number, device address, interface number in lower-case hex.
std::string FormatUsbPath(unsigned bus, unsigned address, unsigned interfaceNumber);

// The printer list: every record's description inside <kestoprinters>.
std::string BuildPrinterList(const std::list<DetectedPrinter*>& printers);

// The buffer rule of the text results: a null buffer gives length + 1; a buffer
// of at least length + 1 bytes gets the text and a NUL, giving length + 1;
// otherwise -1 and the buffer is untouched. -1 also when length + 1 exceeds INT_MAX.
int CopyTextResult(const std::string& text, char* buffer, size_t bufferSize);

}  // namespace kesto

// Appends one record per printer-class alternate setting of every attached
// device of the family, in libusb's device order. Uses and frees a libusb
// context of its own.
void DetectUsbPrinters(std::list<DetectedPrinter*>& printers);

// The USB path of one interface of device.
std::string make_path(libusb_device* device, int interfaceNumber);
