// Barcode and two-dimensional code symbols: the data checks a printer makes
// before it prints, and the module pattern (drawn by zint).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap.h"

namespace kesto::vprinter {

enum class Symbology {
    kUpcA,
    kUpcE,
    kEan13,
    kEan8,
    kCode39,
    kItf,
    kCodabar,
    kCode93,
    kCode128,
    kQrCode,
    kPdf417
};

const char* SymbologyName(Symbology s);

// GS k system byte (0-6 and 65-73) to its symbology; false for other values.
bool SymbologyFromGsK(uint8_t m, Symbology* out);

struct Symbol {
    bool ok = false;
    std::string reason;  // why the printer refuses the data
    std::string text;    // the data the symbol encodes (what a scanner reads)
    std::string hri;     // human-readable text printed with a 1D barcode
    Bitmap modules;      // one dot per module; one row for 1D barcodes
};

// Checks data like a printer does (digit counts, character sets, start/stop
// characters, the CODE128 code-set prefixes) and encodes it when valid.
Symbol MakeBarcode(Symbology s, const std::vector<uint8_t>& data);

// ecc: 0..3 for L, M, Q, H.
Symbol MakeQrCode(const std::vector<uint8_t>& data, int ecc);

// columns/rows 0 = automatic; ecc_level 0..8 or -1 for automatic.
Symbol MakePdf417(const std::vector<uint8_t>& data, int columns, int rows, int ecc_level, bool truncated);

}  // namespace kesto::vprinter
