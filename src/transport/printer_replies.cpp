#include "transport/printer_replies.h"

#include "kesto/kesto.h"

namespace kesto {

namespace {

constexpr uint8_t kProcessIdHeader = 0x37;
constexpr uint8_t kProcessIdKind = 0x22;
// A header with its data and the NUL; longer runs without a NUL are no response.
constexpr size_t kLongestResponse = 80;

bool IsDigit(uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// Both bits of a two-bit sensor field set.
bool Both(uint8_t byte, uint8_t mask) {
    return (byte & mask) == mask;
}

}  // namespace

std::vector<Reply> ReplySorter::Feed(const char* data, size_t count) {
    pending_.append(data, count);
    std::vector<Reply> out;
    while (!pending_.empty() && TakeOne(out)) continue;
    return out;
}

bool ReplySorter::TakeOne(std::vector<Reply>& out) {
    const auto at = [&](size_t i) { return static_cast<uint8_t>(pending_[i]); };
    Reply reply;
    size_t length = 1;
    const uint8_t first = at(0);
    if (first == kProcessIdHeader) {
        size_t end = 1;
        while (end < pending_.size() && at(end) != 0 && end < kLongestResponse) ++end;
        if (end == pending_.size()) return false;
        length = at(end) == 0 ? end + 1 : 1;  // no NUL in reach: the header alone is dropped
        if (length == 7 && at(1) == kProcessIdKind && IsDigit(at(2)) && IsDigit(at(3)) && IsDigit(at(4)) &&
            IsDigit(at(5))) {
            reply.kind = ReplyKind::kProcessId;
            reply.id = (at(2) - '0') * 1000 + (at(3) - '0') * 100 + (at(4) - '0') * 10 + (at(5) - '0');
        }
    } else if ((first & 0x93) == 0x10) {
        if (pending_.size() < 4) return false;
        if ((at(1) & 0x90) == 0 && (at(2) & 0x90) == 0 && (at(3) & 0x90) == 0) {
            reply.kind = ReplyKind::kStatusBlock;
            length = 4;
        }
    } else if ((first & 0x93) == 0x12) {
        reply.kind = ReplyKind::kRealTime;
    } else if ((first & 0x90) == 0) {
        reply.kind = ReplyKind::kTransmitStatus;
    }
    for (size_t i = 0; i < length && i < 4; ++i) reply.bytes[i] = at(i);
    pending_.erase(0, length);
    out.push_back(reply);
    return true;
}

int StateFromStatusBlock(const uint8_t* block) {
    if ((block[0] & 0x93) != 0x10 || (block[1] & 0x90) != 0 || (block[2] & 0x90) != 0 ||
        (block[3] & 0x90) != 0)
        return -1;
    int state = 0;
    if (block[0] & 0x04) state |= KESTO_STATE_DRAWER_PIN_HIGH;
    if (block[0] & 0x08) state |= KESTO_STATE_OFFLINE;
    if (block[0] & 0x20) state |= KESTO_STATE_COVER_OPEN;
    if (block[0] & 0x40) state |= KESTO_STATE_FEED_BUTTON;
    if (block[1] & 0x01) state |= KESTO_STATE_WAITING_RECOVERY;
    if (block[1] & 0x08) state |= KESTO_STATE_CUTTER_ERROR;
    if (block[1] & 0x20) state |= KESTO_STATE_UNRECOVERABLE_ERROR;
    if (block[1] & 0x40) state |= KESTO_STATE_AUTO_RECOVERABLE_ERROR;
    if (Both(block[2], 0x03)) state |= KESTO_STATE_PAPER_NEAR_END;
    if (Both(block[2], 0x0C)) state |= KESTO_STATE_PAPER_END;
    return state;
}

int StateFromRealTime(const uint8_t* replies) {
    for (int i = 0; i < 4; ++i)
        if ((replies[i] & 0x93) != 0x12) return -1;
    const uint8_t printer = replies[0], offline = replies[1], error = replies[2], paper = replies[3];
    int state = 0;
    if (printer & 0x04) state |= KESTO_STATE_DRAWER_PIN_HIGH;
    if (printer & 0x08) state |= KESTO_STATE_OFFLINE;
    if (printer & 0x20) state |= KESTO_STATE_WAITING_RECOVERY;
    if ((printer & 0x40) || (offline & 0x08)) state |= KESTO_STATE_FEED_BUTTON;
    if (offline & 0x04) state |= KESTO_STATE_COVER_OPEN;
    if ((offline & 0x20) || Both(paper, 0x60)) state |= KESTO_STATE_PAPER_END;
    if (error & 0x08) state |= KESTO_STATE_CUTTER_ERROR;
    if (error & 0x20) state |= KESTO_STATE_UNRECOVERABLE_ERROR;
    if (error & 0x40) state |= KESTO_STATE_AUTO_RECOVERABLE_ERROR;
    if (Both(paper, 0x0C)) state |= KESTO_STATE_PAPER_NEAR_END;
    return state;
}

std::string RealTimeStatusRequests() {
    return std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", 12);
}

std::string ProcessIdRequest(int id) {
    std::string request("\x1d\x28\x48\x06\x00\x30\x30", 7);
    const int value = ((id % 10000) + 10000) % 10000;
    for (int divisor = 1000; divisor > 0; divisor /= 10)
        request.push_back(static_cast<char>('0' + value / divisor % 10));
    return request;
}

}  // namespace kesto
