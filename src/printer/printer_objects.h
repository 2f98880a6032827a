#pragma once

#include <memory>

#include "printer/transport_printer.h"
#include "transport/ethernet_transport.h"
#include "transport/usb_transport.h"

// Behind a device handle of type "ETH": a TCP connection to host:port.
class PrinterEth : public TransportPrinter<Ethernet> {
public:
    using TransportPrinter::TransportPrinter;

protected:
    std::unique_ptr<Ethernet> MakeTransport() override;
};

// Behind a device handle of type "USB": the printer model named by `modal`, over libusb.
class PrinterUsb : public TransportPrinter<USBPort> {
public:
    using TransportPrinter::TransportPrinter;
    // Logs the registration, then passes the callback on like every printer object.
    void SetPrinterNotifyCallBack(int (*statusCallback)(int)) override;

protected:
    std::unique_ptr<USBPort> MakeTransport() override;
};
