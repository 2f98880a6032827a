#pragma once

// UTF-8 text to the bytes a printer of the family prints it from: ASCII as it
// is, every other character through a code table of the printer's list (ESC t n
// before the run when the table changes) or, for a character no single-byte
// table of the list holds, through a multibyte font of the list (FS & ... FS .).
// '?' stands for what nothing holds and for each byte of invalid UTF-8.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// Multibyte code systems, numbered as in the public header.
constexpr int kCodesGb18030 = 256;
constexpr int kCodesShiftJis = 257;
constexpr int kCodesBig5 = 258;
constexpr int kCodesKsc5601 = 259;

// A number a printer's list may hold: a known ESC t table or a multibyte system.
bool IsCodeTableEntry(int entry);
// The list of a printer that was given none: every known table but those of
// right-to-left scripts, which need reordering (and Arabic shaping) first.
const std::vector<int>& DefaultCodeTables();

// One step of UTF-8: the code point and the bytes it took; `valid` false for a
// byte that starts no well-formed sequence (cut, overlong, surrogate, above
// U+10FFFF, a stray continuation byte), which then counts as one byte.
struct Utf8Step {
    char32_t cp;
    size_t length;
    bool valid;
};
Utf8Step DecodeUtf8(std::string_view text, size_t at);

// The encoder for one printer's list of tables (order of preference).
class TextEncoder {
public:
    explicit TextEncoder(const std::vector<int>& list);
    ~TextEncoder();
    TextEncoder(const TextEncoder&) = delete;
    TextEncoder& operator=(const TextEncoder&) = delete;

    // The bytes of one call: a table is selected before the first character
    // that needs one, and a multibyte run is closed at the end.
    std::string Encode(std::string_view utf8);

private:
    int ChooseTable(std::string_view text, size_t from, uint32_t candidates) const;
    struct Multibyte;

    uint32_t allowed_ = 0;                  // bit i: the table at place i is in the list
    std::vector<int> preference_;           // places of the list's tables, in its order
    std::unique_ptr<Multibyte> multibyte_;  // the first of the list: a printer has one
};

}  // namespace kesto
