#pragma once

#include <array>
#include <cstddef>

// Type codes of KESTO_PrintBarcode.
enum BarcodeType {
    BARCODE_TYPE_UPCA = 0x101,
    BARCODE_TYPE_UPCE = 0x102,
    BARCODE_TYPE_EAN8 = 0x103,
    BARCODE_TYPE_EAN13 = 0x104,
    BARCODE_TYPE_ITF = 0x105,
    BARCODE_TYPE_CODABAR = 0x106,
    BARCODE_TYPE_CODE39 = 0x107,
    BARCODE_TYPE_CODE93 = 0x108,
    BARCODE_TYPE_CODE128 = 0x109,
    BARCODE_TYPE_QRCODE = 0x110,
    BARCODE_TYPE_PDF417 = 0x111,
};

namespace kesto {

// Most data a length-prefixed one-dimensional barcode (GS k 72/73) can describe.
constexpr int kMaxLengthPrefixedBarcode = 255;
// Most data a two-dimensional store command (GS ( k, pL pH = length + 3) can describe.
constexpr int kMaxStoredSymbolData = 0xFFFF - 3;

// GS k m n: the CODE93 (0x48) or CODE128 (0x49) header with the data length.
std::array<unsigned char, 4> LengthPrefixedBarcodeHeader(unsigned char symbology, int length);

// GS ( k pL pH cn 50 30: the store-data header of a QR (cn 0x31) or PDF417 (cn 0x30) symbol.
std::array<unsigned char, 8> SymbolStoreHeader(unsigned char cn, int length);

}  // namespace kesto
