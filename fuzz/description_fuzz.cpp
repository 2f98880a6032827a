// Device descriptions: the type code and the printer base parse any bytes, and
// both agree on the type.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/debug_log.h"
#include "printer/printer.h"
#include "printer/xml_helpers.h"

namespace {

class BarePrinter : public Printer {
public:
    using Printer::Printer;
    bool isConnected() override { return false; }
    Communication* getComm() override { return nullptr; }
    void SetPrinterNotifyCallBack(int (*)(int)) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (kesto::SetDebugLogPathForTesting("/dev/null"), true);
    (void)quiet;
    if (size > 1 << 16) return 0;
    // An exact-size copy, so a read past the given length is caught.
    std::unique_ptr<char[]> text(new char[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(text.get(), data, size);
    const int length = static_cast<int>(size);

    const int type = getPrinterType(text.get(), length);
    if (type < PrinterTypeUnknown || type > PrinterTypeEth) std::abort();

    BarePrinter printer(text.get(), length);
    // "SERIAL" is a type code of its own but not a printer type the base knows.
    const bool upperSerial = ReadXmlField(std::string(text.get(), size), "type") == "SERIAL";
    if (printer.GetType() != (upperSerial ? PrinterTypeUnknown : type)) std::abort();
    if (printer.GetType() == PrinterTypeSerial && printer.GetSettings() != DefaultSerialSettings)
        std::abort();

    // The path is stored unescaped: escaping it again and undoing that is the identity.
    std::string path = printer.GetPath();
    ToXmlSafeString(path);
    FromXmlSafeString(path);
    if (path != printer.GetPath()) std::abort();

    // A length that covers less than the buffer sees only that prefix.
    if (size > 0) {
        const int shorter = static_cast<int>(data[0]) % length;
        const std::string prefix(text.get(), static_cast<size_t>(shorter));
        BarePrinter cut(text.get(), shorter);
        std::string expected = ReadXmlField(prefix, "path");
        FromXmlSafeString(expected);
        if (cut.GetPath() != expected) std::abort();
    }
    getPrinterType(text.get(), -length);
    getPrinterType(nullptr, length);
    return 0;
}
