// Status decoding: any buffer with any count up to its size gives one of the
// status codes, reads nothing outside the count and keeps a valid pin state.
// The same bytes as a stream of mixed replies sort the same in any pieces, each
// reply of its kind's form, its state bits within the named ones.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "transport/printer_replies.h"
#include "transport/status_decoder.h"

namespace {

using Sorted = std::vector<std::pair<int, int>>;  // kind and id or first byte

Sorted Sort(const std::string& bytes, size_t piece) {
    kesto::ReplySorter sorter;
    Sorted sorted;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        for (const kesto::Reply& r : sorter.Feed(bytes.data() + at, std::min(piece, bytes.size() - at))) {
            const bool id = r.kind == kesto::ReplyKind::kProcessId;
            if (id && (r.id < 0 || r.id > 9999)) std::abort();
            if (r.kind == kesto::ReplyKind::kStatusBlock &&
                (kesto::StateFromStatusBlock(r.bytes) & ~0x3FF) != 0)
                std::abort();
            if (r.kind == kesto::ReplyKind::kRealTime && (r.bytes[0] & 0x93) != 0x12) std::abort();
            sorted.emplace_back(static_cast<int>(r.kind), id ? r.id : r.bytes[0]);
        }
    }
    return sorted;
}

bool IsStatusCode(int code) {
    switch (code) {
        case KESTO_STATUS_NOTHING:
        case KESTO_STATUS_DRAWER_PIN_LOW:
        case KESTO_STATUS_DRAWER_PIN_HIGH:
        case KESTO_STATUS_COVER_OPEN:
        case KESTO_STATUS_COVER_CLOSED:
        case KESTO_STATUS_PAPER_END:
        case KESTO_STATUS_PAPER_NEAR_END_CLEARED:
        case KESTO_STATUS_PAPER_NEAR_END:
        case KESTO_STATUS_PAPER_END_CLEARED:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (kesto::SetDebugLogPathForTesting("/dev/null"), true);
    (void)quiet;
    if (size > 4096) return 0;
    FuzzInput in(data, size);
    static const int kLast[] = {0, 3, 6, 7, 9, 19, 23, 24, 32};
    const int last = kLast[in.Byte() % 9];
    std::atomic<int> pin{(in.Byte() % 3) * 3};  // 0, 3 or 6
    const uint8_t countChoice = in.Byte();
    const std::string bytes = in.Rest();

    // Exactly the received bytes, with the count anywhere from 0 to their size.
    const size_t n = bytes.size();
    std::unique_ptr<char[]> buffer(new char[n == 0 ? 1 : n]);
    if (n > 0) std::memcpy(buffer.get(), bytes.data(), n);
    const int count = n == 0 ? 0 : static_cast<int>(countChoice % (n + 1));
    const int before = pin.load();

    const int code = kesto::DecodeStatusBlock(n == 0 ? nullptr : buffer.get(), count, last, pin);
    if (!IsStatusCode(code)) std::abort();
    const int after = pin.load();
    if (after != 0 && after != KESTO_STATUS_DRAWER_PIN_LOW && after != KESTO_STATUS_DRAWER_PIN_HIGH)
        std::abort();
    if (count < 4 && (code != KESTO_STATUS_NOTHING || after != before)) std::abort();
    if (count >= 4) {
        // The last whole block now stands at the front.
        const size_t block = static_cast<size_t>(count / 4 * 4 - 4);
        if (std::memcmp(buffer.get(), bytes.data() + block, 4) != 0) std::abort();
    }
    if (Sort(bytes, bytes.size() + 1) != Sort(bytes, 1 + countChoice % 7)) std::abort();
    return 0;
}
