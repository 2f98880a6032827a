#pragma once

#include <atomic>

#include "platform/uncopyable.h"
#include "transport/communication.h"
#include "transport/status_decoder.h"
#include "transport/status_poll.h"

namespace kesto {

// What the Ethernet and USB transports share: the connected flag, the last
// error, the status callback and last status code, and the status poll built
// on the transport's own read. Each transport class has its own drawer-pin
// state (one per class, shared by all its objects), hence the class parameter.
//
// After the five slots of Communication come, in this order, Open, Close and
// SetPrinterStatusNotifyCallBack.
template <typename Transport>
class StatusTransport : public Communication, private Uncopyable {
public:
    virtual bool Open() = 0;
    virtual int Close() = 0;
    // Stores the status callback (null removes it).
    virtual void SetPrinterStatusNotifyCallBack(int (*callback)(int)) { status.callback.store(callback); }

    int GetPrinterStatus() override { return PollStatus(nullptr).code; }
    int GetLastError() override { return lastError.load(); }
    StatusPoll PollStatus(const std::atomic<bool>* stop) override {
        return PollPrinterStatus(
            Transport::kStopEventPolicy, stop,
            [this, stop](char* buffer) {
                return static_cast<Transport*>(this)->ReadUnlessStopping(buffer, stop);
            },
            [this](char* buffer, int count) { return GetStatusCode(buffer, count); }, status);
    }

    // True only after a successful open and until Close.
    bool GetConnected() { return connected.load(); }
    // Decodes a status block received by this transport.
    int GetStatusCode(char* buffer, int count) {
        return DecodeStatusBlock(buffer, count, status.lastStatusCode.load(), previousPinState);
    }

protected:
    std::atomic<bool> connected{false};
    std::atomic<int> lastError{0};
    StatusReport status;

private:
    static std::atomic<int> previousPinState;
};

template <typename Transport>
std::atomic<int> StatusTransport<Transport>::previousPinState{0};

}  // namespace kesto
