#include "printer/printer_objects.h"

#include "platform/debug_log.h"

std::unique_ptr<Ethernet> PrinterEth::MakeTransport() {
    return std::make_unique<Ethernet>(GetPath());
}

std::unique_ptr<USBPort> PrinterUsb::MakeTransport() {
    return std::make_unique<USBPort>(GetPath(), settings);
}

void PrinterUsb::SetPrinterNotifyCallBack(int (*statusCallback)(int)) {
    if (getComm() != nullptr) DebugPrint("PrinterUsb::SetPrinterNotifyCallBack\n");
    TransportPrinter::SetPrinterNotifyCallBack(statusCallback);
}
