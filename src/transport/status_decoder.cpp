#include "transport/status_decoder.h"

#include <cerrno>
#include <cstring>

#include "kesto/kesto.h"
#include "platform/events.h"

namespace kesto {

namespace {
thread_local bool tl_statusThread = false;
thread_local bool tl_lastPollReadNothing = false;
}

void MarkStatusThread() { tl_statusThread = true; }

bool IsMarkedStatusThread() { return tl_statusThread; }

bool StatusReadShouldStop() { return tl_statusThread && g_bExitFlag.load(); }

bool LastPollReadNothing() { return tl_lastPollReadNothing; }

int DecodeStatusBlock(char* buffer, int count, int lastStatusCode, std::atomic<int>& previousPinState) {
    if (buffer == nullptr || count <= 0) {
        DebugPrint("GetStatusCode: Get Value Return Error\n");
        return StatusNothingToReport;
    }
    if (count < 4) return StatusNothingToReport;  // no complete block arrived

    const int blockStart = (count / 4) * 4 - 4;
    std::memmove(buffer, buffer + blockStart, 4);
    DebugPrint("First  Byte %d\n", static_cast<signed char>(buffer[0]));
    DebugPrint("Second Byte %d\n", static_cast<signed char>(buffer[1]));
    DebugPrint("Third  Byte %d\n", static_cast<signed char>(buffer[2]));
    DebugPrint("Fourth Byte %d\n", static_cast<signed char>(buffer[3]));

    const unsigned char first = static_cast<unsigned char>(buffer[0]);
    const unsigned char second = static_cast<unsigned char>(buffer[1]);
    const unsigned char third = static_cast<unsigned char>(buffer[2]);
    if ((first & 0x93) != 0x10 || (second & 0x90) != 0 || (third & 0xF0) != 0) return StatusNothingToReport;

    int pin;
    if (first & 0x04) {
        DebugPrint("3Pin High\n");
        pin = StatusDrawerPinHigh;
    } else {
        DebugPrint("3Pin Low\n");
        pin = StatusDrawerPinLow;
    }
    int result = previousPinState.exchange(pin) != pin ? pin : StatusNothingToReport;

    if (first & 0x20) {
        result = StatusCoverOpen;
    } else if (lastStatusCode == StatusCoverOpen) {
        result = StatusCoverClosed;
    }
    if ((third & 0x0C) == 0x0C) {
        result = StatusPaperEnd;
    } else if (lastStatusCode == StatusPaperEnd) {
        result = StatusPaperEndCleared;
    }
    if ((third & 0x03) == 0x03) return StatusPaperNearEnd;
    if (lastStatusCode == StatusPaperNearEnd) result = StatusPaperNearEndCleared;
    return result;
}

int PollPrinterStatus(StopEventPolicy policy, const std::function<int(char*)>& read,
                      const std::function<int(char*, int)>& decode, StatusReport& report) {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    int received = 0;
    tl_lastPollReadNothing = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int polled = WaitForEvent(&_terminateReader, 0);
        if (polled == 0) {
            if (policy == StopEventPolicy::kEndPoll) {
                DebugPrint("USBPort::sem_timedwait() succeeded\n");
                return StatusNothingToReport;
            }
            DebugPrint("Ethernet::sem_timedwait() succeeded %d:: RetVal %d\n", errno, polled);
        }
        received = read(buffer);
        if (received > 0) break;
        if (StatusReadShouldStop()) return StatusNothingToReport;
    }
    tl_lastPollReadNothing = received <= 0;
    const int code = decode(buffer, received);
    if (code != StatusNothingToReport) report.lastStatusCode.store(code);
    if (int (*callback)(int) = report.callback.load()) callback(code);
    return code;
}

}  // namespace kesto
