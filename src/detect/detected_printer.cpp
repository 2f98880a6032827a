#include "detect/detected_printer.h"

#include "printer/xml_helpers.h"

namespace {

// The description of a serial, parallel or Ethernet record: the kind's opening
// text, the path without NUL bytes and escaped, then extraXml as it stands.
std::string DescribeWithExtra(const char* opening, std::string path, const std::string& extraXml) {
    for (std::string::size_type at = path.find('\0'); at != std::string::npos; at = path.find('\0', at)) {
        path.erase(at, 1);
    }
    ToXmlSafeString(path);
    std::string xml = opening;
    xml += path;
    xml += "</path>";
    xml += extraXml;
    xml += "</device>";
    return xml;
}

}  // namespace

DetectedPrinter::DetectedPrinter() = default;

DetectedPrinter::~DetectedPrinter() = default;

DetectedPrinter* DetectedPrinter::Create(const std::string& path, unsigned int /*type*/,
                                         unsigned int maxPacket) {
    return new DetectedUsbPrinter(path, maxPacket);
}

DetectedUsbPrinter::DetectedUsbPrinter(const std::string& p, unsigned int packet)
    : path(p), maxPacket(packet) {}

DetectedUsbPrinter::~DetectedUsbPrinter() = default;

std::string DetectedUsbPrinter::ToXmlString() {
    std::string escaped = path;
    ToXmlSafeString(escaped);
    std::string xml = "<device><type>USB</type><path>";
    xml += escaped;
    xml += "</path><modal>VANTO500</modal><maxpacket>";
    xml += std::to_string(maxPacket);
    xml += "</maxpacket></device>";
    return xml;
}

DetectedSerialPrinter::DetectedSerialPrinter(const std::string& p, const std::string& extra)
    : path(p), extraXml(extra) {}

DetectedSerialPrinter::~DetectedSerialPrinter() = default;

std::string DetectedSerialPrinter::ToXmlString() {
    return DescribeWithExtra("<device><type>Serial</type><path>", path, extraXml);
}

DetectedParellelPrinter::DetectedParellelPrinter(const std::string& p, const std::string& extra)
    : path(p), extraXml(extra) {}

DetectedParellelPrinter::~DetectedParellelPrinter() = default;

std::string DetectedParellelPrinter::ToXmlString() {
    return DescribeWithExtra("<device><type>IEEE1284</type><path>", path, extraXml);
}

DetectedEthernetPrinter::DetectedEthernetPrinter(const std::string& p, const std::string& extra)
    : path(p), extraXml(extra) {}

DetectedEthernetPrinter::~DetectedEthernetPrinter() = default;

std::string DetectedEthernetPrinter::ToXmlString() {
    return DescribeWithExtra("<device><type>ETH</type><path>", path, extraXml);
}
