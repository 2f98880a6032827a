#include "escpos_parser.h"

#include <algorithm>
#include <cstdio>

namespace kesto::vprinter {
namespace {

constexpr uint8_t kNul = 0x00;
constexpr uint8_t kHt = 0x09;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kFf = 0x0C;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFs = 0x1C;
constexpr uint8_t kGs = 0x1D;

// Parameter byte count of the fixed-size ESC commands; -1 for unknown.
int EscArgs(uint8_t code) {
    switch (code) {
        case '@':
        case '2':
        case 'L':
        case 'S':
        case 'i':
        case 'm':
        case kFf:
            return 0;
        case '!':
        case 'E':
        case 'G':
        case '-':
        case 'M':
        case 'a':
        case 'd':
        case 'J':
        case '3':
        case ' ':
        case 't':
        case 'R':
        case '=':
        case 'V':
        case 'T':
        case '{':
        case 'e':
        case 'U':
        case 'r':
        case '%':
        case '?':
            return 1;
        case '$':
        case '\\':
        case 'c':
            return 2;
        case 'p':
            return 3;
        case 'W':
            return 8;
        default:
            return -1;
    }
}

int GsArgs(uint8_t code) {
    switch (code) {
        case '!':
        case 'B':
        case 'H':
        case 'h':
        case 'w':
        case 'f':
        case 'a':
        case 'I':
        case 'r':
        case 'b':
        case 'T':
            return 1;
        case 'L':
        case 'W':
        case 'P':
        case '$':
        case '\\':
            return 2;
        default:
            return -1;
    }
}

int FsArgs(uint8_t code) {
    switch (code) {
        case '&':
        case '.':
            return 0;
        case 'C':
        case '!':
        case '-':
        case 'W':
            return 1;
        case 'p':
        case 'S':
            return 2;
        default:
            return -1;
    }
}

size_t Unknown(const uint8_t* p, size_t used, Command& out, std::string note) {
    out = Command{};
    out.kind = CommandKind::kUnknown;
    out.lead = p[0];
    out.code = used > 1 ? p[1] : 0;
    out.data.assign(p, p + used);
    out.note = std::move(note);
    return used;
}

}  // namespace

std::string HexBytes(const std::vector<uint8_t>& bytes, size_t max) {
    std::string s;
    char buf[8];
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        s += buf;
    }
    if (bytes.size() > max) s += " ...";
    return s;
}

std::string CommandName(const Command& cmd) {
    auto code_name = [](uint8_t c) -> std::string {
        if (c == ' ') return "SP";
        if (c == kFf) return "FF";
        if (c > 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", c);
        return buf;
    };
    switch (cmd.kind) {
        case CommandKind::kEsc:
            return "ESC " + code_name(cmd.code);
        case CommandKind::kSkipped:
        case CommandKind::kGs:
            if ((cmd.code == '(' || cmd.code == 'v') && !cmd.args.empty())
                return "GS " + code_name(cmd.code) + " " + code_name(cmd.args[0]);
            return "GS " + code_name(cmd.code);
        case CommandKind::kDle:
            return cmd.code == 0x04 ? "DLE EOT" : cmd.code == 0x05 ? "DLE ENQ" : "DLE " + code_name(cmd.code);
        case CommandKind::kFs:
            return "FS " + code_name(cmd.code);
        case CommandKind::kControl:
            switch (cmd.code) {
                case kLf:
                    return "LF";
                case kHt:
                    return "HT";
                case kCr:
                    return "CR";
                case kFf:
                    return "FF";
                case kCan:
                    return "CAN";
                case kNul:
                    return "NUL";
            }
            return code_name(cmd.code);
        default:
            return HexBytes(cmd.data, 4);
    }
}

void EscPosParser::Reset() {
    pending_.clear();
    need_ = 0;
    discard_left_ = 0;
}

void EscPosParser::Feed(const uint8_t* bytes, size_t n) {
    if (bytes == nullptr || n == 0) return;
    size_t i = 0;
    if (discard_left_ > 0) {
        size_t take = std::min(n, discard_left_);
        discard_left_ -= take;
        i += take;
        if (discard_left_ > 0) return;
        sink_(discard_cmd_);
    }
    pending_.insert(pending_.end(), bytes + i, bytes + n);

    size_t pos = 0;
    while (pos < pending_.size()) {
        size_t avail = pending_.size() - pos;
        if (need_ > avail) break;
        need_ = 0;
        Command cmd;
        size_t used = DecodeOne(pending_.data() + pos, avail, cmd);
        if (used == 0) break;
        pos += used;
        if (cmd.kind == CommandKind::kSkipped) {
            discard_left_ = cmd.payload_size;
            size_t take = std::min(pending_.size() - pos, discard_left_);
            pos += take;
            discard_left_ -= take;
            if (discard_left_ > 0) {
                discard_cmd_ = std::move(cmd);
                break;
            }
        }
        sink_(cmd);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
}

void EscPosParser::Finish() {
    if (discard_left_ > 0) {
        Command cmd = discard_cmd_;
        cmd.kind = CommandKind::kTruncated;
        cmd.data.clear();
        cmd.note = "stream ended " + std::to_string(discard_left_) + " bytes before the end of " +
                   CommandName(discard_cmd_) + " data";
        sink_(cmd);
    } else if (!pending_.empty()) {
        Command cmd;
        cmd.kind = CommandKind::kTruncated;
        cmd.lead = pending_[0];
        cmd.code = pending_.size() > 1 ? pending_[1] : 0;
        cmd.data = pending_;
        cmd.note = "stream ended inside a command";
        sink_(cmd);
    }
    Reset();
}

size_t EscPosParser::Fixed(const uint8_t* p, size_t n, size_t nargs, Command& out) {
    if (n < 2 + nargs) return Need(2 + nargs);
    out.lead = p[0];
    out.code = p[1];
    out.args.assign(p + 2, p + 2 + nargs);
    return 2 + nargs;
}

size_t EscPosParser::DecodeOne(const uint8_t* p, size_t n, Command& out) {
    uint8_t b = p[0];
    if (b >= 0x20) {
        size_t len = 1;
        while (len < n && p[len] >= 0x20) ++len;
        out.kind = CommandKind::kText;
        out.data.assign(p, p + len);
        return len;
    }
    switch (b) {
        case kNul:
        case kHt:
        case kLf:
        case kFf:
        case kCr:
        case kCan:
            out.kind = CommandKind::kControl;
            out.lead = out.code = b;
            return 1;
        case kEsc:
            if (n < 2) return Need(2);
            return DecodeEsc(p, n, out);
        case kGs:
            if (n < 2) return Need(2);
            return DecodeGs(p, n, out);
        case kDle: {
            if (n < 2) return Need(2);
            out.kind = CommandKind::kDle;
            if (p[1] == 0x04 || p[1] == 0x05) return Fixed(p, n, 1, out);
            if (p[1] == 0x14) return Fixed(p, n, 3, out);
            return Unknown(p, 1, out, "DLE not followed by a real-time command");
        }
        case kFs: {
            if (n < 2) return Need(2);
            int args = FsArgs(p[1]);
            if (args < 0) return Unknown(p, 2, out, "unknown FS command");
            out.kind = CommandKind::kFs;
            return Fixed(p, n, static_cast<size_t>(args), out);
        }
        default:
            return Unknown(p, 1, out, "unknown control byte");
    }
}

size_t EscPosParser::DecodeEsc(const uint8_t* p, size_t n, Command& out) {
    uint8_t code = p[1];
    out.kind = CommandKind::kEsc;
    if (code == 'D') {
        // Tab positions in ascending order, ended by NUL or by a value that
        // does not ascend (which then counts as ordinary data).
        out.lead = p[0];
        out.code = code;
        uint8_t prev = 0;
        for (size_t i = 2;; ++i) {
            if (i >= n) return Need(i + 1);
            uint8_t v = p[i];
            if (v == 0) return i + 1;
            if (v <= prev || out.args.size() == 32) return i;
            out.args.push_back(v);
            prev = v;
        }
    }
    if (code == '*') {
        if (n < 5) return Need(5);
        uint8_t m = p[2];
        if (m != 0 && m != 1 && m != 32 && m != 33) return Unknown(p, 3, out, "ESC * with an unknown mode");
        size_t dots = static_cast<size_t>(p[3]) | static_cast<size_t>(p[4]) << 8;
        size_t len = dots * (m >= 32 ? 3 : 1);
        if (n < 5 + len) return Need(5 + len);
        Fixed(p, n, 3, out);
        out.data.assign(p + 5, p + 5 + len);
        return 5 + len;
    }
    int args = EscArgs(code);
    if (args < 0) return Unknown(p, 2, out, "unknown ESC command");
    return Fixed(p, n, static_cast<size_t>(args), out);
}

size_t EscPosParser::DecodeGs(const uint8_t* p, size_t n, Command& out) {
    uint8_t code = p[1];
    out.kind = CommandKind::kGs;
    switch (code) {
        case 'V': {
            if (n < 3) return Need(3);
            uint8_t m = p[2];
            if (m == 0 || m == 1 || m == 48 || m == 49) return Fixed(p, n, 1, out);
            if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) return Fixed(p, n, 2, out);
            return Unknown(p, 3, out, "GS V with an unknown cut mode");
        }
        case 'v': {
            if (n < 3) return Need(3);
            if (p[2] != '0') return Unknown(p, 3, out, "unknown GS v function");
            if (n < 8) return Need(8);
            uint8_t m = p[3];
            if (m > 3 && (m < 48 || m > 51)) return Unknown(p, 8, out, "GS v 0 with an unknown mode");
            size_t x = static_cast<size_t>(p[4]) | static_cast<size_t>(p[5]) << 8;
            size_t y = static_cast<size_t>(p[6]) | static_cast<size_t>(p[7]) << 8;
            size_t len = x * y;
            Fixed(p, n, 6, out);
            if (len > kMaxStoredPayload) {
                out.kind = CommandKind::kSkipped;
                out.payload_size = len;
                out.note = "raster image of " + std::to_string(len) + " bytes is too large";
                return 8;
            }
            if (n < 8 + len) return Need(8 + len);
            out.data.assign(p + 8, p + 8 + len);
            return 8 + len;
        }
        case '(': {
            if (n < 5) return Need(5);
            size_t len = static_cast<size_t>(p[3]) | static_cast<size_t>(p[4]) << 8;
            if (n < 5 + len) return Need(5 + len);
            Fixed(p, n, 3, out);
            out.data.assign(p + 5, p + 5 + len);
            return 5 + len;
        }
        case 'k':
            return DecodeBarcode(p, n, out);
        default: {
            int args = GsArgs(code);
            if (args < 0) return Unknown(p, 2, out, "unknown GS command");
            return Fixed(p, n, static_cast<size_t>(args), out);
        }
    }
}

size_t EscPosParser::DecodeBarcode(const uint8_t* p, size_t n, Command& out) {
    if (n < 3) return Need(3);
    uint8_t m = p[2];
    if (m <= 6) {
        // Data ends with NUL; a printer gives up after 255 data bytes.
        constexpr size_t kMaxData = 255;
        size_t end = 3;
        while (end < n && end - 3 <= kMaxData && p[end] != 0) ++end;
        if (end - 3 > kMaxData) return Unknown(p, 3, out, "GS k data not ended by NUL within 255 bytes");
        if (end >= n) return Need(n + 1);
        Fixed(p, n, 1, out);
        out.data.assign(p + 3, p + end);
        return end + 1;
    }
    if (m >= 65 && m <= 73) {
        if (n < 4) return Need(4);
        size_t len = p[3];
        if (n < 4 + len) return Need(4 + len);
        Fixed(p, n, 2, out);
        out.data.assign(p + 4, p + 4 + len);
        return 4 + len;
    }
    return Unknown(p, 3, out, "GS k with an unknown barcode system");
}

}  // namespace kesto::vprinter
