// The exported device calls: create and destroy handles, mark presence,
// register the status callback, write raw bytes, report errors and the version.
// No exception leaves any of them.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "api/status_thread.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"
#include "printer/printer_objects.h"

namespace {

constexpr int kVersion[4] = {0, 6, 0, 2};

Printer* AsPrinter(void* handle) {
    return static_cast<Printer*>(handle);
}

Printer* MakePrinter(int type, const char* description, int descriptionLength) {
    switch (type) {
        case PrinterTypeUnknown:
            DebugPrint("KESTO_CreateDevicePointer PrinterTypeUnknown\n");
            return nullptr;
        case PrinterTypeEth:
            DebugPrint("KESTO_CreateDevicePointer PrinterEth\n");
            return new PrinterEth(description, descriptionLength);
        case PrinterTypeUsb:
            DebugPrint("KESTO_CreateDevicePointer PrinterTypeUsb\n");
            return new PrinterUsb(description, descriptionLength);
        default:  // serial and parallel printers are not driven by this library
            return nullptr;
    }
}

}  // namespace

extern "C" {

KESTO_API void* KESTO_CreateDevicePointer(char* description, int descriptionLength) {
    return kesto::Guarded<void*>(nullptr, [&]() -> void* {
        ::unlink(kesto::DebugLogPath());
        const char* const stars = "*****************************************************\n";
        DebugPrint("%s", stars);
        DebugPrint("            KESTO JavaPOS Debug Log Started          \n");
        DebugPrint("%s", stars);
        DebugPrint("KESTO Linux/Mac Shared Object Version %d.%d.%d.%d\n", kVersion[0], kVersion[1],
                   kVersion[2], kVersion[3]);
        DebugPrint("KESTO_CreateDevicePointer\n");
        // Only the bytes the host handed over are logged, terminated or not.
        const int shown = description != nullptr && descriptionLength > 0 ? descriptionLength : 0;
        DebugPrint("%.*s\n", shown, description != nullptr ? description : "");

        const int type = getPrinterType(description, descriptionLength);
        std::unique_ptr<Printer> printer(MakePrinter(type, description, descriptionLength));
        if (!printer || !printer->EarlyConnect()) return nullptr;
        return printer.release();
    });
}

KESTO_API int KESTO_DestroyDevicePointer(void* handle) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_DestroyDevicePointer\n");
        if (handle == nullptr) return -1;
        // A status thread still polling through this handle is stopped first:
        // freeing the transport under it would crash the host.
        StopStatusThreadUsing(handle);
        std::unique_ptr<Printer> printer(AsPrinter(handle));
        printer->FinalDisconnect();
        return 1;
    });
}

KESTO_API int KESTO_SetUserData(void* /*handle*/, void* /*userData*/) {
    return 1;
}

KESTO_API int KESTO_GetLastError(void* handle) {
    return kesto::Guarded(-1, [&] {
        if (handle == nullptr) return -1;
        if (Communication* comm = GetCommPtr(handle)) return comm->GetLastError();
        return AsPrinter(handle)->GetLastError();
    });
}

KESTO_API int KESTO_DeviceDisconnected(void* handle) {
    if (handle == nullptr) return -1;
    AsPrinter(handle)->SetConnectedFlag(false);
    AsPrinter(handle)->SetLastError(0);
    return 1;
}

KESTO_API int KESTO_DeviceReconnected(void* handle) {
    if (handle == nullptr) return -1;
    AsPrinter(handle)->SetConnectedFlag(true);
    AsPrinter(handle)->SetLastError(0);
    return 1;
}

KESTO_API int KESTO_OnPrinterError(void* handle, int (*statusCallback)(int)) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_OnPrinterError  \n");
        if (handle == nullptr) return -1;
        Printer* printer = AsPrinter(handle);
        if (!printer->isConnected() && !printer->Connect()) return -1;
        printer->SetPrinterNotifyCallBack(statusCallback);
        return 1;
    });
}

KESTO_API int KESTO_WriteData(void* handle, const char* data, int dataLength) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_WriteData\n");
        return kesto::WithPrinter(handle, [&](Communication& comm) {
            if (data == nullptr && dataLength > 0) return -1;
            kesto::PrintInProgressScope printing;
            // The host's bytes and count go to the transport as they are.
            return comm.Write(data, dataLength, 0);
        });
    });
}

KESTO_API void KESTO_GetVersionString(char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return;
    if (bufferSize <= 14) {
        buffer[0] = '\0';
        return;
    }
    std::snprintf(buffer, static_cast<size_t>(bufferSize), "%d.%d.%d.%d", kVersion[0], kVersion[1],
                  kVersion[2], kVersion[3]);
}

KESTO_API int GetAvailableParallelPorts(void* /*unused*/) {
    return 0;
}

KESTO_API int GetAvailableSerialPorts(void* /*unused*/) {
    return 0;
}

}  // extern "C"
