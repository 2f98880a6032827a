#include "transport/status_decoder.h"

#include <cstring>

#include "kesto/kesto.h"
#include "platform/debug_log.h"

namespace kesto {

int DecodeStatusBlock(char* buffer, int count, int lastStatusCode, std::atomic<int>& previousPinState) {
    if (buffer == nullptr || count <= 0) {
        DebugPrint("GetStatusCode: Get Value Return Error\n");
        return KESTO_STATUS_NOTHING;
    }
    if (count < 4) return KESTO_STATUS_NOTHING;  // no complete block arrived

    const int blockStart = (count / 4) * 4 - 4;
    std::memmove(buffer, buffer + blockStart, 4);
    DebugPrint("First  Byte %d\n", static_cast<signed char>(buffer[0]));
    DebugPrint("Second Byte %d\n", static_cast<signed char>(buffer[1]));
    DebugPrint("Third  Byte %d\n", static_cast<signed char>(buffer[2]));
    DebugPrint("Fourth Byte %d\n", static_cast<signed char>(buffer[3]));

    const unsigned char first = static_cast<unsigned char>(buffer[0]);
    const unsigned char second = static_cast<unsigned char>(buffer[1]);
    const unsigned char third = static_cast<unsigned char>(buffer[2]);
    if ((first & 0x93) != 0x10 || (second & 0x90) != 0 || (third & 0xF0) != 0) return KESTO_STATUS_NOTHING;

    int pin;
    if (first & 0x04) {
        DebugPrint("3Pin High\n");
        pin = KESTO_STATUS_DRAWER_PIN_HIGH;
    } else {
        DebugPrint("3Pin Low\n");
        pin = KESTO_STATUS_DRAWER_PIN_LOW;
    }
    int result = previousPinState.exchange(pin) != pin ? pin : KESTO_STATUS_NOTHING;

    if (first & 0x20) {
        result = KESTO_STATUS_COVER_OPEN;
    } else if (lastStatusCode == KESTO_STATUS_COVER_OPEN) {
        result = KESTO_STATUS_COVER_CLOSED;
    }
    // A printer out of paper reports its near-end sensor too: paper end is
    // decided last, so that it outranks near end.
    if ((third & 0x03) == 0x03) {
        result = KESTO_STATUS_PAPER_NEAR_END;
    } else if (lastStatusCode == KESTO_STATUS_PAPER_NEAR_END) {
        result = KESTO_STATUS_PAPER_NEAR_END_CLEARED;
    }
    if ((third & 0x0C) == 0x0C) return KESTO_STATUS_PAPER_END;
    if (lastStatusCode == KESTO_STATUS_PAPER_END) result = KESTO_STATUS_PAPER_END_CLEARED;
    return result;
}

}  // namespace kesto
