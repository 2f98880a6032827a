#pragma once

#include <atomic>
#include <functional>

#include "transport/communication.h"

namespace kesto {

// What a transport keeps for status reporting. Written by the host's threads
// (callback) and the status thread (last code), hence atomics.
struct StatusReport {
    std::atomic<int (*)(int)> callback{nullptr};
    std::atomic<int> lastStatusCode{0};
};

// On a posted stop event, the USB transport ends the poll at once; the
// Ethernet transport logs it and reads all the same.
enum class StopEventPolicy { kEndPoll, kLogAndRead };

// One status poll as both transports run it: up to three attempts of
// (poll the stop event, read into a cleared 256-byte buffer) until a read
// returns data, then decode, remember a non-zero code and call the callback
// with the code, 0 included. A read abandoned because *stop became true ends
// the poll with 0, without decoding or calling back.
StatusPoll PollPrinterStatus(StopEventPolicy policy, const std::atomic<bool>* stop,
                             const std::function<int(char*)>& read,
                             const std::function<int(char*, int)>& decode, StatusReport& report);

// Whether a read on behalf of a polling loop should give up now.
inline bool StopRequested(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

}  // namespace kesto
