// Streaming ESC/POS decoder of the virtual printer.
//
// Bytes arrive in arbitrary pieces; the decoder keeps an incomplete command
// until the rest of it arrives and hands every complete command, run of text
// or unrecognised byte to a callback. It never reads outside the bytes it was
// given and never waits for more than the declared size of a command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kesto::vprinter {

enum class CommandKind {
    kText,       // printable bytes (0x20 and above); `data` holds them
    kControl,    // a one-byte control code (LF, HT, CR, FF, CAN, NUL); `code`
    kEsc,        // ESC code args...
    kGs,         // GS code args... [data]
    kDle,        // DLE code args...
    kFs,         // FS code args...
    kUnknown,    // bytes the printer does not understand; `data` holds them
    kTruncated,  // the stream ended inside a command; `data` holds what came
    kSkipped,    // a payload too large to keep was consumed without storing
};

struct Command {
    CommandKind kind = CommandKind::kUnknown;
    uint8_t lead = 0;           // 0x1B, 0x1D, 0x10, 0x1C or the control byte
    uint8_t code = 0;           // byte after the lead
    std::vector<uint8_t> args;  // fixed parameter bytes after `code`
    std::vector<uint8_t> data;  // variable payload
    size_t payload_size = 0;    // for kSkipped: the bytes discarded
    std::string note;           // why the decoder refused or cut the bytes
};

// Readable name of a byte sequence: "ESC @", "GS ( k", "0x07".
std::string CommandName(const Command& cmd);
std::string HexBytes(const std::vector<uint8_t>& bytes, size_t max = 16);

class EscPosParser {
public:
    using Sink = std::function<void(const Command&)>;

    // Payloads above this size are consumed but not kept.
    static constexpr size_t kMaxStoredPayload = 8u << 20;

    explicit EscPosParser(Sink sink) : sink_(std::move(sink)) {}

    void Feed(const uint8_t* bytes, size_t n);
    // The stream has ended: whatever is pending is reported as truncated.
    void Finish();
    // Drop pending bytes (a connection ended abruptly and the next one starts clean).
    void Reset();

private:
    // Decodes one command at the front of `pending_`. Returns the bytes used,
    // or 0 when more bytes are needed (then `need_` is the total size wanted).
    size_t DecodeOne(const uint8_t* p, size_t n, Command& out);
    size_t DecodeEsc(const uint8_t* p, size_t n, Command& out);
    size_t DecodeGs(const uint8_t* p, size_t n, Command& out);
    size_t DecodeBarcode(const uint8_t* p, size_t n, Command& out);
    size_t Need(size_t total) {
        need_ = total;
        return 0;
    }
    size_t Fixed(const uint8_t* p, size_t n, size_t nargs, Command& out);

    Sink sink_;
    std::vector<uint8_t> pending_;
    size_t need_ = 0;
    size_t discard_left_ = 0;  // bytes of an oversized payload still to consume
    Command discard_cmd_;
};

}  // namespace kesto::vprinter
