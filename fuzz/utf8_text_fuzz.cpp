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

// One multibyte code read back through iconv (Shift JIS once FS C came).
char32_t ReadMultibyte(const char* charset, const std::string& code) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    Check(cd != reinterpret_cast<iconv_t>(-1));  // NOLINT(performance-no-int-to-ptr)
    std::string in = code;
    char32_t cp = 0;
    char* inp = in.data();
    char* outp = reinterpret_cast<char*>(&cp);
    size_t inLeft = in.size(), outLeft = sizeof cp;
    Check(iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && outLeft == 0);
    iconv_close(cd);
    return cp;
}

const char* Charset(int system) {
    switch (system) {
        case kesto::kCodesGb18030:
            return "GB18030";
        case kesto::kCodesBig5:
            return "BIG5";
        default:
            return "EUC-KR";
    }
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
        } else if (kanji) {
            Check(shiftJis == (font == kesto::kCodesShiftJis));
            const bool four = font == kesto::kCodesGb18030 && out[i + 1] >= '0' && out[i + 1] <= '9';
            const size_t n = four ? 4 : 2;
            Check(i + n <= out.size());
            printed.push_back(ReadMultibyte(shiftJis ? "SHIFT_JIS" : Charset(font), out.substr(i, n)));
            i += n - 1;
        } else {
            Check(table >= 0);
            const char32_t cp = kesto::CodeTableChar(table, b);
            Check(cp != 0);
            printed.push_back(cp);
        }
    }
    Check(!kanji);  // the call ends in single-byte mode

    size_t at = 0, n = 0;
    for (; at < text.size(); ++n) {
        const kesto::Utf8Step step = kesto::DecodeUtf8(text, at);
        at += step.length;
        Check(n < printed.size());
        Check(step.valid ? printed[n] == step.cp || printed[n] == U'?' : printed[n] == U'?');
    }
    Check(n == printed.size());
    return 0;
}
