#pragma once

// Byte builders of KESTO_PrintBarcode's parameterised headers (pure, for tests).

#include <string>

namespace kesto {

// Most data a length-prefixed one-dimensional barcode (GS k 72/73) can describe.
constexpr int kMaxLengthPrefixedBarcode = 255;
// Most data a two-dimensional store command (GS ( k, pL pH = length + 3) can describe.
constexpr int kMaxStoredSymbolData = 0xFFFF - 3;

// GS k m n: the CODE93 (0x48) or CODE128 (0x49) header with the data length.
std::string LengthPrefixedBarcodeHeader(int symbology, int length);

// GS ( k pL pH cn 50 30: the store-data header of a QR (cn 0x31) or PDF417 (cn 0x30) symbol.
std::string SymbolStoreHeader(int cn, int length);

}  // namespace kesto
