#pragma once

#include <atomic>
#include <functional>

// Printer status codes handed to the host's status callback.
enum PrinterStatusCode {
    StatusNothingToReport = 0,
    StatusDrawerPinLow = 3,
    StatusDrawerPinHigh = 6,
    StatusCoverOpen = 7,
    StatusCoverClosed = 9,
    StatusPaperEnd = 19,
    StatusPaperNearEndCleared = 23,
    StatusPaperNearEnd = 24,
    StatusPaperEndCleared = 32,
};

namespace kesto {

// What a transport keeps for status reporting. Written by the host's threads
// (callback) and the status thread (last code), hence atomics.
struct StatusReport {
    std::atomic<int (*)(int)> callback{nullptr};
    std::atomic<int> lastStatusCode{0};
};

// Decodes the last complete 4-byte automatic status block among the first
// `count` bytes of buffer (copying it to the front) into a status code, given
// the transport's last status code. `previousPinState` is the drawer-pin state
// shared by all transports of one class: 0 before the first valid block, then
// 3 or 6. Fewer than four bytes hold no block: 0, nothing outside them is read.
int DecodeStatusBlock(char* buffer, int count, int lastStatusCode, std::atomic<int>& previousPinState);

// The status thread marks itself, so that a status read it makes can end
// early once it is asked to stop (g_bExitFlag), instead of waiting out the
// read's time-out. Reads on any other thread keep their full time-out.
void MarkStatusThread();
bool IsMarkedStatusThread();
bool StatusReadShouldStop();

// Whether the last status poll made on this thread got no byte from the
// printer at all (every read failed, timed out or found the connection gone).
// A printer that is gone fails its reads at once; the status thread pauses
// then instead of polling in a tight loop.
bool LastPollReadNothing();

// On a posted stop event, the USB transport ends the poll at once; the
// Ethernet transport logs it and reads all the same.
enum class StopEventPolicy { kEndPoll, kLogAndRead };

// One status poll as both transports run it: up to three attempts of
// (poll the stop event, read into a cleared 256-byte buffer) until a read
// returns data, then decode, remember a non-zero code and call the callback
// with the code, 0 included. A read abandoned because the status thread is
// stopping ends the poll with 0, without decoding or calling back.
int PollPrinterStatus(StopEventPolicy policy, const std::function<int(char*)>& read,
                      const std::function<int(char*, int)>& decode, StatusReport& report);

}  // namespace kesto
