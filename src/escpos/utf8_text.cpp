#include "escpos/utf8_text.h"

#include <iconv.h>

#include <algorithm>

#include "escpos/code_tables.h"

namespace kesto {
namespace {

constexpr char kEsc = 0x1B;
constexpr char kFs = 0x1C;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The iconv name of a multibyte system (KS C 5601 travels as EUC-KR).
const char* MultibyteCharset(int system) {
    switch (system) {
        case kCodesGb18030:
            return "GB18030";
        case kCodesShiftJis:
            return "SHIFT_JIS";
        case kCodesBig5:
            return "BIG5";
        default:
            return "EUC-KR";
    }
}

}  // namespace

bool IsCodeTableEntry(int entry) {
    return CodeTableIndex(entry) >= 0 || (entry >= kCodesGb18030 && entry <= kCodesKsc5601);
}

const std::vector<int>& DefaultCodeTables() {
    static const std::vector<int> list = {0, 1, 2, 3, 4, 5, 14, 16, 17, 18, 19, 33, 34, 45, 46, 47, 51};
    return list;
}

Utf8Step DecodeUtf8(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1, true};
    size_t length = 0;
    char32_t cp = 0;
    // The second byte's range rules out overlong forms, surrogates and code
    // points above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {U'?', 1, false};
    }
    if (text.size() - at < length) return {U'?', 1, false};
    if (byte(1) < low || byte(1) > high) return {U'?', 1, false};
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) return {U'?', 1, false};
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    return {cp, length, true};
}

// One multibyte system of the list and its converter.
struct TextEncoder::Multibyte {
    explicit Multibyte(int system) : system(system), cd(iconv_open(MultibyteCharset(system), "UTF-32LE")) {}
    ~Multibyte() {
        if (usable()) iconv_close(cd);
    }
    Multibyte(const Multibyte&) = delete;
    Multibyte& operator=(const Multibyte&) = delete;

    bool usable() const { return cd != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)

    // The character as one multibyte code (two bytes, four for GB18030's
    // extension), appended to `out`; false when the system has none for it.
    bool Append(char32_t cp, std::string& out) {
        if (!usable()) return false;
        char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                      static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
        char code[8];
        char* inp = in;
        char* outp = code;
        size_t inLeft = sizeof in, outLeft = sizeof code;
        const size_t done = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t length = sizeof code - outLeft;
        // One-byte codes (a yen sign on 0x5C, half-width kana) would print
        // through the single-byte road, not the multibyte font.
        if (done == static_cast<size_t>(-1) || (length != 2 && length != 4) ||
            static_cast<unsigned char>(code[0]) < 0x81)
            return false;
        out.append(code, length);
        return true;
    }

    int system;
    iconv_t cd;
};

TextEncoder::TextEncoder(const std::vector<int>& list) {
    for (int entry : list) {
        const int table = CodeTableIndex(entry);
        if (table >= 0) {
            if ((allowed_ & (1u << table)) == 0) preference_.push_back(table);
            allowed_ |= 1u << table;
        } else if (IsCodeTableEntry(entry) && !multibyte_) {
            multibyte_ = std::make_unique<Multibyte>(entry);
        }
    }
}

TextEncoder::~TextEncoder() = default;

// Of the candidate tables, the one that carries the text furthest without a
// switch; among equals, the first of the list.
int TextEncoder::ChooseTable(std::string_view text, size_t from, uint32_t candidates) const {
    while ((candidates & (candidates - 1)) != 0 && from < text.size()) {
        if (static_cast<unsigned char>(text[from]) < 0x80) {
            ++from;
            continue;
        }
        const Utf8Step step = DecodeUtf8(text, from);
        from += step.length;
        // What no table of the list holds goes out as '?' or multibyte: no constraint.
        const uint32_t holding = step.valid ? TablesHolding(step.cp) & allowed_ : 0;
        if (holding == 0) continue;
        if ((holding & candidates) == 0) break;
        candidates &= holding;
    }
    for (int table : preference_)
        if ((candidates & (1u << table)) != 0) return table;
    return preference_.front();
}

std::string TextEncoder::Encode(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 16);
    int current = -1;               // no table selected yet in this call
    bool shiftJisSelected = false;  // FS C 1 sent in this call
    bool inMultibyte = false;
    std::string code;
    size_t at = 0;
    while (at < utf8.size()) {
        const char byte = utf8[at];
        if (static_cast<unsigned char>(byte) < 0x80) {
            out += byte;
            ++at;
            continue;
        }
        const Utf8Step step = DecodeUtf8(utf8, at);
        at += step.length;
        if (!step.valid) {
            out += '?';
            continue;
        }
        const uint32_t holding = TablesHolding(step.cp) & allowed_;
        if (holding != 0) {
            if (inMultibyte) out += {kFs, '.'};
            inMultibyte = false;
            if (current < 0 || (holding & (1u << current)) == 0) {
                current = ChooseTable(utf8, at, holding);
                out += {kEsc, 't', static_cast<char>(CodeTableNumber(current))};
            }
            out += static_cast<char>(CodeTableByte(step.cp, current));
            continue;
        }
        code.clear();
        if (!multibyte_ || !multibyte_->Append(step.cp, code)) {
            out += '?';
            continue;
        }
        // FS C 1: Shift JIS, on printers that also read JIS codes.
        if (multibyte_->system == kCodesShiftJis && !shiftJisSelected) out += {kFs, 'C', 1};
        if (!inMultibyte) out += {kFs, '&'};
        inMultibyte = true;
        shiftJisSelected = true;
        out += code;
    }
    if (inMultibyte) out += {kFs, '.'};
    return out;
}

}  // namespace kesto
