// Shared by the end-to-end tests: the virtual printer's TCP server in this
// process, device handles of the real library pointed at it, waiting for
// receipts, and scanning the codes printed on them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kesto/kesto.h"
#include "server.h"
#include "tools/virtual-printer/virtual_printer_helpers.h"
#include "virtual_printer.h"

namespace kesto::e2e {

using vprinter::Receipt;
using Clock = std::chrono::steady_clock;

// Waits until `done()` holds, checking every 10 ms; false when `limit` passed.
template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The virtual printer listening on a free loopback port.
class PrinterServer {
public:
    PrinterServer() : server_(Options()) {
        std::string error;
        started_ = server_.Start(&error);
        EXPECT_TRUE(started_) << error;
    }

    bool started() const { return started_; }
    int port() const { return server_.port(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port()); }
    std::string Description() const {
        return "<device><type>ETH</type><path>" + Address() + "</path></device>";
    }

    // Copies of the finished receipts.
    std::vector<Receipt> Receipts() {
        return server_.WithPrinter([](vprinter::VirtualPrinter& p) { return p.receipts(); });
    }
    size_t ReceiptCount() {
        return server_.WithPrinter([](vprinter::VirtualPrinter& p) { return p.receipts().size(); });
    }
    // Waits for `count` finished receipts and returns them (fewer on time-out).
    std::vector<Receipt> WaitForReceipts(size_t count) {
        WaitUntil([&] { return ReceiptCount() >= count; });
        std::vector<Receipt> receipts = Receipts();
        EXPECT_GE(receipts.size(), count) << "receipts did not arrive";
        return receipts;
    }
    vprinter::Condition Condition() {
        return server_.WithPrinter([](vprinter::VirtualPrinter& p) { return p.condition(); });
    }
    // The automatic status back groups the printer was told to report (GS a).
    int AsbMask() {
        return server_.WithPrinter(
            [](vprinter::VirtualPrinter& p) { return static_cast<int>(p.asb_mask()); });
    }
    std::string Control(const std::string& command) { return server_.Control(command); }

private:
    static vprinter::ServerOptions Options() {
        vprinter::ServerOptions options;
        options.port = 0;
        options.echo = false;
        return options;
    }

    vprinter::Server server_;
    bool started_ = false;
};

// A device handle of the library for an ETH description; destroyed with it.
class Device {
public:
    explicit Device(std::string description) : description_(std::move(description)) {
        handle_ = KESTO_CreateDevicePointer(&description_[0], static_cast<int>(description_.size()));
    }
    ~Device() {
        if (handle_ != nullptr) KESTO_DestroyDevicePointer(handle_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void* get() const { return handle_; }
    // Closes the connection now: the printer finishes what it received.
    void Close() {
        if (handle_ != nullptr) KESTO_DestroyDevicePointer(handle_);
        handle_ = nullptr;
    }

private:
    std::string description_;
    void* handle_ = nullptr;
};

// Scans the paper under one printed symbol (with a white border around it) and
// returns the text a scanner reads, or "<unreadable>".
inline std::string Scan(const Receipt& r, const vprinter::PrintedSymbol& s, ZXing::BarcodeFormat format) {
    vprinter::test::GreyImage img;
    img.width = s.width;
    img.height = s.height;
    img.px.resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height));
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            img.px[static_cast<size_t>(y) * s.width + x] = r.paper.Get(s.x + x, s.y + y) ? 0 : 255;
    ZXing::Result result = vprinter::test::Decode(img, format);
    return result.isValid() ? result.text() : "<unreadable>";
}

// The symbols of one kind ("QR code", "EAN-13", ...) on a receipt.
inline std::vector<vprinter::PrintedSymbol> SymbolsOfKind(const Receipt& r, const std::string& kind) {
    std::vector<vprinter::PrintedSymbol> found;
    for (const auto& s : r.symbols)
        if (s.kind == kind) found.push_back(s);
    return found;
}

inline bool HasLine(const Receipt& r, const std::string& text) {
    for (const auto& line : r.lines)
        if (line.text == text) return true;
    return false;
}

inline const vprinter::TextLine* FindLine(const Receipt& r, const std::string& text) {
    for (const auto& line : r.lines)
        if (line.text == text) return &line;
    return nullptr;
}

}  // namespace kesto::e2e
