#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

#include "printer/printer.h"

// A printer object that owns one transport, creates it on the first connection
// request and answers the Device API's questions. The USB and Ethernet printer
// objects differ only in the transport they make.
template <typename Transport>
class TransportPrinter : public Printer {
public:
    using Printer::Printer;

    // Releases a transport that FinalDisconnect did not (the Device API always runs it first).
    ~TransportPrinter() override { delete comm.exchange(nullptr); }

    // Only the first call (or the first after Disconnect) opens the device; later
    // calls report the state. Two threads never both build a transport.
    bool Connect() override {
        std::lock_guard<std::mutex> guard(connectMutex);
        try {
            if (Transport* existing = comm.load()) return existing->GetConnected() && connected.load();
            connected = false;
            std::unique_ptr<Transport> fresh = MakeTransport();
            Transport* transport = fresh.release();
            comm.store(transport);
            const bool opened = transport->Open();
            connected = opened;
            if (!opened) SetLastError(transport->GetLastError());
            return opened;
        } catch (...) {
            return false;
        }
    }

    bool Disconnect() override {
        std::lock_guard<std::mutex> guard(connectMutex);
        if (Transport* transport = comm.exchange(nullptr)) {
            transport->Close();
            delete transport;
        }
        connected = false;
        return true;
    }

    bool Reconnect() override {
        std::lock_guard<std::mutex> guard(connectMutex);
        Transport* transport = comm.load();
        if (transport == nullptr) return false;
        transport->Close();
        return transport->Open();
    }

    bool isConnected() override {
        Transport* transport = comm.load();
        return transport != nullptr && transport->GetConnected() && connected.load();
    }

    Communication* getComm() override { return comm.load(); }

    // Hands the callback to the transport, when there is one.
    void SetPrinterNotifyCallBack(int (*statusCallback)(int)) override {
        if (Transport* transport = comm.load()) transport->SetPrinterStatusNotifyCallBack(statusCallback);
    }

protected:
    virtual std::unique_ptr<Transport> MakeTransport() = 0;

private:
    std::atomic<Transport*> comm{nullptr};
    std::mutex connectMutex;
};
