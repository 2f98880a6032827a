// The whole virtual printer (decoder, model, renderer, status replies) on any
// bytes, then end of stream; and the same bytes with printing stopped from a
// point the first byte picks until after the end: once back on line the
// printer must have put exactly the same on paper (nothing lost, nothing twice).
#include <cstdint>
#include <cstdlib>

#include "virtual_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using kesto::vprinter::Condition;
    if (size < 1 || size > 1 << 16) return 0;
    const uint8_t* bytes = data + 1;
    const size_t n = size - 1, split = n * data[0] / 255;
    kesto::vprinter::PrinterOptions options;
    options.max_kept = 2;
    kesto::vprinter::VirtualPrinter straight(options), stopped(options);
    size_t replies = 0;
    for (auto* p : {&straight, &stopped})
        p->set_reply_sink([&replies](const uint8_t*, size_t k) { replies += k; });
    straight.Feed(bytes, n);
    straight.EndOfStream();
    stopped.Feed(bytes, split);
    Condition paper_out;
    paper_out.paper_end = true;
    stopped.SetCondition(paper_out);
    stopped.Feed(bytes + split, n - split);
    stopped.EndOfStream();
    stopped.SetCondition(Condition{});

    if (stopped.held() != 0 || stopped.receipts().size() != straight.receipts().size()) std::abort();
    for (size_t i = 0; i < straight.receipts().size(); ++i) {
        const auto& a = straight.receipts()[i];
        const auto& b = stopped.receipts()[i];
        if (a.paper.width() != straight.width() || !(a.paper == b.paper) || a.LineTexts() != b.LineTexts())
            std::abort();
    }
    return 0;
}
