#include "symbols.h"

#include <zint.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace kesto::vprinter {
namespace {

bool AllDigits(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Symbol Refuse(std::string reason) {
    Symbol s;
    s.reason = std::move(reason);
    return s;
}

struct ZintDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

// Encodes with zint and copies the module pattern.
Symbol Encode(int symbology, const std::string& data, int option1, int option2, int option3,
              std::string text) {
    std::unique_ptr<zint_symbol, ZintDeleter> z(ZBarcode_Create());
    if (!z) return Refuse("out of memory");
    z->symbology = symbology;
    z->input_mode = DATA_MODE;
    z->option_1 = option1;
    z->option_2 = option2;
    z->option_3 = option3;
    z->show_hrt = 1;
    int rc = ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(data.data()),
                             static_cast<int>(data.size()));
    if (rc >= ZINT_ERROR) return Refuse(z->errtxt[0] ? z->errtxt : "cannot be encoded");
    Symbol s;
    s.ok = true;
    s.text = std::move(text);
    s.hri = reinterpret_cast<const char*>(z->text);
    s.modules.Resize(z->width, z->rows);
    for (int y = 0; y < z->rows; ++y)
        for (int x = 0; x < z->width; ++x)
            if ((z->encoded_data[y][x >> 3] >> (x & 7)) & 1) s.modules.Set(x, y);
    return s;
}

int Gs1CheckDigit(const std::string& digits) {
    // Weights 3, 1, 3 ... counted from the rightmost digit.
    int sum = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
        int d = digits[digits.size() - 1 - i] - '0';
        sum += (i % 2 == 0) ? 3 * d : d;
    }
    return (10 - sum % 10) % 10;
}

// EAN/UPC with an optional check digit: `n` digits without, `n + 1` with.
Symbol EanUpc(const std::string& d, size_t n, const char* name, int symbology) {
    if (!AllDigits(d)) return Refuse(std::string(name) + " takes digits only");
    if (d.size() != n && d.size() != n + 1)
        return Refuse(std::string(name) + " needs " + std::to_string(n) + " or " + std::to_string(n + 1) +
                      " digits, got " + std::to_string(d.size()));
    std::string body = d.substr(0, n);
    char check = static_cast<char>('0' + Gs1CheckDigit(body));
    if (d.size() == n + 1 && d[n] != check)
        return Refuse(std::string(name) + " check digit is " + d[n] + ", should be " + check);
    return Encode(symbology, body, 0, 0, 0, body + check);
}

Symbol Code128(const std::vector<uint8_t>& raw) {
    if (raw.size() < 2 || raw[0] != '{' || (raw[1] != 'A' && raw[1] != 'B' && raw[1] != 'C'))
        return Refuse("CODE128 data must begin with a code set selection {A, {B or {C");
    char set = static_cast<char>(raw[1]);
    std::string text;
    for (size_t i = 2; i < raw.size(); ++i) {
        uint8_t b = raw[i];
        if (b == '{') {
            if (i + 1 >= raw.size()) return Refuse("CODE128 data ends inside a { sequence");
            uint8_t c = raw[++i];
            if (c == 'A' || c == 'B' || c == 'C') {
                set = static_cast<char>(c);
            } else if (c == '{') {
                text += '{';
            } else if (c == 'S' || (c >= '1' && c <= '4')) {
                // Shift and function characters carry no data of their own.
            } else {
                return Refuse("CODE128 has an unknown sequence {" + std::string(1, static_cast<char>(c)));
            }
            continue;
        }
        if (set == 'C') {
            if (b > 99) return Refuse("CODE128 code set C takes values 0 to 99");
            text += static_cast<char>('0' + b / 10);
            text += static_cast<char>('0' + b % 10);
        } else if (set == 'A' ? b > 0x5F : (b < 0x20 || b > 0x7F)) {
            return Refuse(std::string("CODE128 code set ") + set + " cannot hold byte " + std::to_string(b));
        } else {
            text += static_cast<char>(b);
        }
    }
    if (text.empty()) return Refuse("CODE128 has no data");
    return Encode(BARCODE_CODE128, text, 0, 0, 0, text);
}

}  // namespace

const char* SymbologyName(Symbology s) {
    switch (s) {
        case Symbology::kUpcA:
            return "UPC-A";
        case Symbology::kUpcE:
            return "UPC-E";
        case Symbology::kEan13:
            return "EAN-13";
        case Symbology::kEan8:
            return "EAN-8";
        case Symbology::kCode39:
            return "CODE39";
        case Symbology::kItf:
            return "ITF";
        case Symbology::kCodabar:
            return "CODABAR";
        case Symbology::kCode93:
            return "CODE93";
        case Symbology::kCode128:
            return "CODE128";
        case Symbology::kQrCode:
            return "QR code";
        case Symbology::kPdf417:
            return "PDF417";
    }
    return "?";
}

bool SymbologyFromGsK(uint8_t m, Symbology* out) {
    static const Symbology kTable[] = {Symbology::kUpcA,    Symbology::kUpcE,   Symbology::kEan13,
                                       Symbology::kEan8,    Symbology::kCode39, Symbology::kItf,
                                       Symbology::kCodabar, Symbology::kCode93, Symbology::kCode128};
    if (m <= 6) {
        *out = kTable[m];
        return true;
    }
    if (m >= 65 && m <= 73) {
        *out = kTable[m - 65];
        return true;
    }
    return false;
}

Symbol MakeBarcode(Symbology s, const std::vector<uint8_t>& raw) {
    if (raw.empty()) return Refuse(std::string(SymbologyName(s)) + " has no data");
    std::string d(raw.begin(), raw.end());
    switch (s) {
        case Symbology::kUpcA:
            return EanUpc(d, 11, "UPC-A", BARCODE_UPCA);
        case Symbology::kEan13:
            return EanUpc(d, 12, "EAN-13", BARCODE_EANX);
        case Symbology::kEan8:
            return EanUpc(d, 7, "EAN-8", BARCODE_EANX);
        case Symbology::kUpcE: {
            if (!AllDigits(d)) return Refuse("UPC-E takes digits only");
            if (d.size() < 6 || d.size() > 8)
                return Refuse("UPC-E needs 6 to 8 digits, got " + std::to_string(d.size()));
            if (d.size() >= 7 && d[0] != '0') return Refuse("UPC-E number system must be 0");
            return Encode(BARCODE_UPCE, d, 0, 0, 0, d);
        }
        case Symbology::kCode39: {
            if (d.size() >= 2 && d.front() == '*' && d.back() == '*') d = d.substr(1, d.size() - 2);
            if (d.empty()) return Refuse("CODE39 has no data");
            for (char c : d)
                if (!(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'Z') ||
                      std::strchr(" $%+-./", c)))
                    return Refuse(std::string("CODE39 cannot encode '") + c + "'");
            return Encode(BARCODE_CODE39, d, 0, 0, 0, d);
        }
        case Symbology::kItf:
            if (!AllDigits(d)) return Refuse("ITF takes digits only");
            if (d.size() % 2 != 0)
                return Refuse("ITF needs an even number of digits, got " + std::to_string(d.size()));
            return Encode(BARCODE_C25INTER, d, 0, 0, 0, d);
        case Symbology::kCodabar: {
            auto start_stop = [](char c) { return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd'); };
            if (d.size() < 3 || !start_stop(d.front()) || !start_stop(d.back()))
                return Refuse("CODABAR must begin and end with a start/stop character A to D");
            for (size_t i = 1; i + 1 < d.size(); ++i)
                if (!std::isdigit(static_cast<unsigned char>(d[i])) && !std::strchr("-$:/.+", d[i]))
                    return Refuse(std::string("CODABAR cannot encode '") + d[i] + "'");
            std::transform(d.begin(), d.end(), d.begin(),
                           [](char c) { return std::toupper(static_cast<unsigned char>(c)); });
            return Encode(BARCODE_CODABAR, d, 0, 0, 0, d);
        }
        case Symbology::kCode93:
            for (uint8_t b : raw)
                if (b > 127) return Refuse("CODE93 takes ASCII 0 to 127 only");
            return Encode(BARCODE_CODE93, d, 0, 0, 0, d);
        case Symbology::kCode128:
            return Code128(raw);
        case Symbology::kQrCode:
        case Symbology::kPdf417:
            break;
    }
    return Refuse("not a one-dimensional barcode");
}

Symbol MakeQrCode(const std::vector<uint8_t>& data, int ecc) {
    if (data.empty()) return Refuse("QR code has no data");
    std::string d(data.begin(), data.end());
    return Encode(BARCODE_QRCODE, d, std::clamp(ecc, 0, 3) + 1, 0, 0, d);
}

Symbol MakePdf417(const std::vector<uint8_t>& data, int columns, int rows, int ecc_level, bool truncated) {
    if (data.empty()) return Refuse("PDF417 has no data");
    std::string d(data.begin(), data.end());
    return Encode(truncated ? BARCODE_PDF417COMP : BARCODE_PDF417, d, ecc_level, columns, rows, d);
}

}  // namespace kesto::vprinter
