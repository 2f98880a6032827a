// The printer's whole state, its state callback and the print confirmation:
// thin calls into the handle's printer link (transport/printer_link.h).
#include "api/status_thread.h"
#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "printer/device_handle.h"
#include "transport/printer_link.h"

namespace {

constexpr int kRealTimeLimitMs = 2000;

// body(link) with the handle's link, or -1 without a transport that has one.
template <typename Body>
int WithLink(void* handle, Body&& body) noexcept {
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        kesto::PrinterLink* link = comm.Link();
        return link != nullptr ? body(*link, comm) : -1;
    });
}

}  // namespace

extern "C" {

KESTO_API int KESTO_GetPrinterState(void* handle) {
    return WithLink(handle, [&](kesto::PrinterLink& link, Communication&) {
        int state = link.LatestState(StatusThreadReads(handle));
        const bool asked = state < 0;
        if (asked) state = link.QueryState(kRealTimeLimitMs);
        if (link.StateChangedSinceLastAsked(state) || asked) DebugPrint("KESTO_GetPrinterState %d\n", state);
        return state;
    });
}

KESTO_API int KESTO_OnPrinterState(void* handle, KESTO_PrinterStateCallback callback, void* userData) {
    return WithLink(handle, [&](kesto::PrinterLink& link, Communication& comm) {
        DebugPrint("KESTO_OnPrinterState %s\n", callback != nullptr ? "registered" : "removed");
        link.SetCallback(handle, callback, userData);
        if (callback == nullptr) return 1;
        link.Start();
        // The printer then sends its state at once and at every change.
        kesto::Send(comm, ASB_Printer_Status[0]);
        link.AutomaticStatusEnabled();
        return 1;
    });
}

KESTO_API int KESTO_WaitPrinted(void* handle, int timeoutMs) {
    return WithLink(handle, [&](kesto::PrinterLink& link, Communication&) {
        const int printed = link.WaitPrinted(timeoutMs) ? 1 : 0;
        DebugPrint("KESTO_WaitPrinted %s\n", printed ? "printed" : "not confirmed");
        return printed;
    });
}

}  // extern "C"
