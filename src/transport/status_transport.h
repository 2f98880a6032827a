#pragma once

#include <atomic>

#include "platform/uncopyable.h"
#include "transport/communication.h"
#include "transport/printer_link.h"
#include "transport/status_decoder.h"
#include "transport/status_poll.h"

namespace kesto {

// What the Ethernet and USB transports share: the connected flag, the last
// error, the status callback and last status code, and the status poll built
// on the transport's own read, and the printer link (its reader). The
// drawer-pin state belongs to each transport object.
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
    // Reads the device itself until the link's reader runs, then takes the
    // blocks the reader sorted out.
    StatusPoll PollStatus(const std::atomic<bool>* stop) override {
        Transport* self = static_cast<Transport*>(this);
        return PollPrinterStatus(
            Transport::kStopEventPolicy, stop,
            [this, self, stop](char* buffer) {
                if (!link.BeginDeviceRead()) return link.TakeStatusBlocks(buffer, self->ReplyWaitMs(), stop);
                const int count = self->ReadUnlessStopping(buffer, stop);
                return link.EndDeviceRead(buffer, count) ? link.TakeStatusBlocks(buffer, 0, stop) : count;
            },
            [this](char* buffer, int count) {
                const int code = GetStatusCode(buffer, count);
                if (count >= 4) link.NoteStatusBlock(buffer);  // the decoded block now stands first
                return code;
            },
            status);
    }
    PrinterLink* Link() override { return &link; }

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
    PrinterLink link{
        [this](char* buffer, int sliceMs) {
            return static_cast<Transport*>(this)->ReadReplies(buffer, sliceMs);
        },
        [this](const std::string& bytes) { return Write(bytes.data(), static_cast<int>(bytes.size()), 0); },
        lastError};

private:
    std::atomic<int> previousPinState{0};
};

}  // namespace kesto
