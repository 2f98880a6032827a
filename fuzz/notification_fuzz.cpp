// Device notification datagrams: each one asks for the callback once for
// "DEVICE_ADD" and once for "DEVICE_REMOVE", wherever and however often they
// stand, NUL bytes included.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/notification_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512) return 0;  // one datagram buffer
    std::unique_ptr<char[]> datagram(new char[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(datagram.get(), data, size);

    const std::string text(datagram.get(), size);
    const int expected = (text.find("DEVICE_ADD") != std::string::npos ? 1 : 0) +
                         (text.find("DEVICE_REMOVE") != std::string::npos ? 1 : 0);
    if (kesto::DeviceNotificationCount(datagram.get(), size) != expected) std::abort();
    return 0;
}
