#pragma once

// What a printer of the family sends back, sorted by kind, and the printer
// state its status bytes stand for. Pure: no I/O, no log.

#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

enum class ReplyKind {
    kStatusBlock,     // automatic status back: 4 bytes, the first 0xx1xx00
    kRealTime,        // a DLE EOT answer: 1 byte 0xx1xx10
    kProcessId,       // the process-ID response 37 22 d1..d4 00
    kTransmitStatus,  // a GS r answer: 1 byte 0xx0xxxx
    kOther,           // a byte or a response of no kind above
};

struct Reply {
    ReplyKind kind = ReplyKind::kOther;
    uint8_t bytes[4] = {0, 0, 0, 0};  // the block, or the one status byte first
    int id = -1;                      // kProcessId: 0 to 9999
};

// Sorts a stream of replies that arrives in pieces of any size: each Feed
// returns the replies completed by its bytes, in order, and keeps an
// incomplete one for the next.
class ReplySorter {
public:
    std::vector<Reply> Feed(const char* data, size_t count);

private:
    // Sorts the reply at the front of pending_; false when it is incomplete.
    bool TakeOne(std::vector<Reply>& out);
    std::string pending_;
};

// The KESTO_STATE_* bits of an automatic status block (4 bytes), or -1 when
// its fixed bits say it is none.
int StateFromStatusBlock(const uint8_t* block);

// The KESTO_STATE_* bits of the answers to DLE EOT 1, 2, 3 and 4, in order,
// or -1 when one of them is no real-time status byte.
int StateFromRealTime(const uint8_t* replies);

// DLE EOT 1 to 4 in one run (a printer takes several real-time commands at once).
std::string RealTimeStatusRequests();

// GS ( H 06 00 30 30 d1..d4: "send the process-ID response for id once
// everything before is done"; id 0 to 9999, as four ASCII digits.
std::string ProcessIdRequest(int id);

}  // namespace kesto
