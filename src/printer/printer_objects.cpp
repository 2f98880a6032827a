#include "printer/printer_objects.h"

#include "platform/debug_log.h"

PrinterEth::PrinterEth(const char* description, int descriptionLength)
    : TransportPrinter<Ethernet>(description, descriptionLength) {}

std::unique_ptr<Ethernet> PrinterEth::MakeTransport() {
    return std::make_unique<Ethernet>(GetPath());
}

void PrinterEth::SetPrinterNotifyCallBack(int (*statusCallback)(int)) {
    if (Ethernet* comm = transport()) comm->SetPrinterStatusNotifyCallBack(statusCallback);
}

PrinterUsb::PrinterUsb(const char* description, int descriptionLength)
    : TransportPrinter<USBPort>(description, descriptionLength) {}

std::unique_ptr<USBPort> PrinterUsb::MakeTransport() {
    return std::make_unique<USBPort>(GetPath(), settings);
}

void PrinterUsb::SetPrinterNotifyCallBack(int (*statusCallback)(int)) {
    if (USBPort* comm = transport()) {
        DebugPrint("PrinterUsb::SetPrinterNotifyCallBack\n");
        comm->SetPrinterStatusNotifyCallBack(statusCallback);
    }
}
