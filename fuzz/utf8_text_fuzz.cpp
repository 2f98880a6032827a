// The UTF-8 encoder: any bytes with any of a few code-table lists encode
// without a crash, select only tables of the list, and what they print reads
// back as the input, with '?' where nothing held a character and for each
// byte of invalid UTF-8.
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "escpos/code_tables.h"
#include "escpos/utf8_text.h"
#include "fuzz_input.h"

namespace {

const std::vector<int> kLists[] = {
    {},  // the default list
    {0, 36, 37, 49, 50, 1},
    {16, kesto::kCodesGb18030},
    {kesto::kCodesShiftJis, 17, kesto::kCodesBig5},
    {kesto::kCodesKsc5601, 47},
};

void Check(bool holds) {
    if (!holds) std::abort();
}

// Bytes from one character set to another through iconv; "" when refused.
std::string Convert(const char* from, const char* to, std::string in) {
    iconv_t cd = iconv_open(to, from);
    Check(cd != reinterpret_cast<iconv_t>(-1));  // NOLINT(performance-no-int-to-ptr)
    std::string out(16, '\0');
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const bool done = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    return done ? out.substr(0, out.size() - outLeft) : "";
}

std::string Utf32(char32_t cp) {
    return std::string(reinterpret_cast<const char*>(&cp), sizeof cp);
}

const char* Charset(int system) {
    return system == kesto::kCodesGb18030 ? "GB18030" : system == kesto::kCodesBig5 ? "BIG5" : "EUC-KR";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    FuzzInput in(data, size);
    const std::vector<int>& chosen = kLists[in.Byte() % 5];
    const std::vector<int>& list = chosen.empty() ? kesto::DefaultCodeTables() : chosen;
    std::string text = in.Rest();
    // ESC and FS in the text would go out as commands of their own.
    for (char& c : text)
        if (c == 0x1B || c == 0x1C) c = ' ';

    kesto::TextEncoder encoder(list);
    const std::string out = encoder.Encode(text);

    // The first multibyte system of the list is the printer's font; any other is passed over.
    int font = 0;
    for (int entry : list)
        if (entry > 255 && font == 0) font = entry;
    std::vector<char32_t> printed;
    std::vector<std::string> codes;  // each printed character's multibyte code, "" for none
    const char* charset = "";
    int table = -1;
    bool kanji = false, shiftJis = false;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b == 0x1B) {
            Check(i + 2 < out.size() && out[i + 1] == 't');
            const int number = static_cast<unsigned char>(out[i + 2]);
            Check(std::find(list.begin(), list.end(), number) != list.end());
            table = kesto::CodeTableIndex(number);
            i += 2;
        } else if (b == 0x1C) {
            Check(i + 1 < out.size());
            if (out[i + 1] == 'C') Check(font == kesto::kCodesShiftJis && !shiftJis), shiftJis = true, ++i;
            kanji = out[i + 1] == '&';
            ++i;
        } else if (b < 0x80) {
            printed.push_back(b);
            codes.emplace_back();
        } else if (kanji) {
            Check(shiftJis == (font == kesto::kCodesShiftJis));
            const bool four = font == kesto::kCodesGb18030 && out[i + 1] >= '0' && out[i + 1] <= '9';
            const size_t n = four ? 4 : 2;
            Check(i + n <= out.size());
            charset = shiftJis ? "SHIFT_JIS" : Charset(font);
            const std::string read = Convert(charset, "UTF-32LE", out.substr(i, n));
            Check(read.size() == 4);
            printed.push_back(static_cast<char32_t>(static_cast<unsigned char>(read[0]) |
                                                    static_cast<unsigned char>(read[1]) << 8 |
                                                    static_cast<unsigned char>(read[2]) << 16));
            codes.push_back(out.substr(i, n));
            i += n - 1;
        } else {
            Check(table >= 0);
            const char32_t cp = kesto::CodeTableChar(table, b);
            Check(cp != 0);
            printed.push_back(cp);
            codes.emplace_back();
        }
    }
    Check(!kanji);  // the call ends in single-byte mode

    size_t at = 0, n = 0;
    for (; at < text.size(); ++n) {
        const kesto::Utf8Step step = kesto::DecodeUtf8(text, at);
        at += step.length;
        Check(n < printed.size());
        // A multibyte code may stand for a character the font has under another code point
        // (KS C 5601's won sign, U+20A9, reads back as the full-width one): the code is then the
        // character's own.
        const bool same = printed[n] == step.cp ||
                          (!codes[n].empty() && Convert("UTF-32LE", charset, Utf32(step.cp)) == codes[n]);
        Check(step.valid ? same || printed[n] == U'?' : printed[n] == U'?');
    }
    Check(n == printed.size());
    return 0;
}
