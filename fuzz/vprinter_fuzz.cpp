// The whole virtual printer (decoder, model, renderer, status replies) on any
// bytes, then end of stream.
#include <cstdint>
#include <cstdlib>

#include "virtual_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    kesto::vprinter::PrinterOptions options;
    options.max_kept = 2;
    kesto::vprinter::VirtualPrinter printer(options);
    size_t replies = 0;
    printer.set_reply_sink([&replies](const uint8_t*, size_t n) { replies += n; });
    printer.Feed(data, size);
    printer.EndOfStream();
    for (const auto& receipt : printer.receipts()) {
        if (receipt.paper.width() != printer.width()) std::abort();
    }
    return 0;
}
