#pragma once

#include <string>

#include "platform/export.h"

// A printer the hardware detector found, able to write itself as the device
// description that KESTO_CreateDevicePointer accepts. Records are owned through
// a DetectedPrinter* and deleted through it; they never change after construction.
class KESTO_API DetectedPrinter {
public:
    virtual ~DetectedPrinter() = 0;
    // The record's device description: one line of XML, no declaration, no blanks.
    virtual std::string ToXmlString() = 0;

    // Always makes a DetectedUsbPrinter, whatever the printer type code says
    // (USB is the only kind the enumeration finds). The caller owns the result.
    static DetectedPrinter* Create(const std::string& path, unsigned int type, unsigned int maxPacket);

protected:
    // Defined out of line so that the base's vtable is always emitted (and exported).
    DetectedPrinter();
};

class KESTO_API DetectedUsbPrinter : public DetectedPrinter {
public:
    DetectedUsbPrinter(const std::string& path, unsigned int maxPacket);
    ~DetectedUsbPrinter() override;
    // The path is escaped but kept byte for byte, NUL bytes included.
    std::string ToXmlString() override;

    const std::string path;
    const unsigned int maxPacket;
};

// Serial, parallel and Ethernet records: a path and further description
// elements (extraXml) that are written unchanged after it. NUL bytes are
// dropped from the path before it is escaped.
class KESTO_API DetectedSerialPrinter : public DetectedPrinter {
public:
    DetectedSerialPrinter(const std::string& path, const std::string& extraXml);
    ~DetectedSerialPrinter() override;
    std::string ToXmlString() override;

    const std::string path;
    const std::string extraXml;
};

class KESTO_API DetectedParellelPrinter : public DetectedPrinter {
public:
    DetectedParellelPrinter(const std::string& path, const std::string& extraXml);
    ~DetectedParellelPrinter() override;
    std::string ToXmlString() override;

    const std::string path;
    const std::string extraXml;
};

class KESTO_API DetectedEthernetPrinter : public DetectedPrinter {
public:
    DetectedEthernetPrinter(const std::string& path, const std::string& extraXml);
    ~DetectedEthernetPrinter() override;
    std::string ToXmlString() override;

    const std::string path;
    const std::string extraXml;
};
