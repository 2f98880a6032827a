// The virtual printer's ESC/POS decoder on any bytes, then end of stream. The
// same bytes fed in arbitrary pieces must decode to the same commands.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "escpos_parser.h"

namespace {

using kesto::vprinter::Command;
using kesto::vprinter::EscPosParser;

bool Same(const Command& a, const Command& b) {
    return a.kind == b.kind && a.lead == b.lead && a.code == b.code && a.args == b.args && a.data == b.data &&
           a.payload_size == b.payload_size && a.note == b.note;
}

// Text runs may be cut where a piece ends; join neighbouring ones to compare.
std::vector<Command> Decode(const uint8_t* data, size_t size, size_t step) {
    std::vector<Command> out;
    EscPosParser parser([&out](const Command& cmd) {
        if (cmd.kind == kesto::vprinter::CommandKind::kText && !out.empty() &&
            out.back().kind == kesto::vprinter::CommandKind::kText) {
            out.back().data.insert(out.back().data.end(), cmd.data.begin(), cmd.data.end());
            return;
        }
        out.push_back(cmd);
        kesto::vprinter::CommandName(cmd);
    });
    for (size_t at = 0; at < size; at += step) {
        const size_t n = size - at < step ? size - at : step;
        // Every piece in a buffer of its own size, so a read past it is caught.
        std::vector<uint8_t> piece(data + at, data + at + n);
        parser.Feed(piece.data(), piece.size());
    }
    parser.Finish();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    const size_t step = 1 + data[0] % 7;
    const std::vector<Command> whole = Decode(data + 1, size - 1, size);
    const std::vector<Command> pieces = Decode(data + 1, size - 1, step);
    if (whole.size() != pieces.size()) std::abort();
    for (size_t i = 0; i < whole.size(); ++i) {
        if (!Same(whole[i], pieces[i])) std::abort();
    }
    return 0;
}
