#include "printer/printer.h"

#include <utility>

#include "printer/xml_helpers.h"

const std::string DefaultSerialSettings =
    "<settings><baudrate>115200</baudrate><databits>8</databits><stopbits>1</stopbits>"
    "<parity>0</parity></settings>";
const std::string DefaultUsbSettings;
const std::string DefaultIEEE1284Settings;
const std::string DefaultETHSettings;
const std::string DefaultUnknownSettings;

namespace {

// NUL bytes inside the first `length` bytes are ordinary characters.
std::string DescriptionText(const char* description, int length) {
    if (description == nullptr || length <= 0) return std::string();
    return std::string(description, static_cast<size_t>(length));
}

}  // namespace

int getPrinterType(const char* description, int descriptionLength) {
    const std::string type = ReadXmlField(DescriptionText(description, descriptionLength), "type");
    if (type == "USB") return PrinterTypeUsb;
    if (type == "Serial") return PrinterTypeSerial;
    if (type == "SERIAL") return PrinterTypeSerial;
    if (type == "IEEE1284") return PrinterTypeIEEE1284;
    if (type == "ETH") return PrinterTypeEth;
    return PrinterTypeUnknown;
}

Printer::Printer(const char* description, int descriptionLength)
    : connected(false), type(PrinterTypeUnknown), lastError(0) {
    const std::string text = DescriptionText(description, descriptionLength);
    path = ReadXmlField(text, "path");
    FromXmlSafeString(path);
    const std::string typeText = ReadXmlField(text, "type");
    const std::string model = ReadXmlField(text, "modal");
    if (typeText == "USB") {
        type = PrinterTypeUsb;
        settings = model;
    } else if (typeText == "Serial") {
        type = PrinterTypeSerial;
        settings = DefaultSerialSettings;
    } else if (typeText == "IEEE1284") {
        type = PrinterTypeIEEE1284;
        settings = DefaultIEEE1284Settings;
    } else if (typeText == "ETH") {
        type = PrinterTypeEth;
        settings = DefaultETHSettings;
    } else {
        // "" and every text outside the table: an unknown printer without settings.
        type = PrinterTypeUnknown;
        settings = DefaultUnknownSettings;
    }
}

Printer::~Printer() = default;

void Printer::SetCodeTables(std::vector<int> tables) {
    std::lock_guard<std::mutex> lock(codeTablesMutex);
    codeTables = std::move(tables);
}

std::vector<int> Printer::GetCodeTables() const {
    std::lock_guard<std::mutex> lock(codeTablesMutex);
    return codeTables;
}

bool Printer::Open() {
    return false;
}
bool Printer::Close() {
    return false;
}
bool Printer::SupportsComm() {
    return false;
}
bool Printer::Connect() {
    return false;
}
bool Printer::Disconnect() {
    return false;
}
bool Printer::Reconnect() {
    return false;
}
bool Printer::EarlyConnect() {
    return true;
}
bool Printer::FinalDisconnect() {
    return Disconnect();
}
void Printer::SetSettings(const std::string& newSettings) {
    settings = newSettings;
}
