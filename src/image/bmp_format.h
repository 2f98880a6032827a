#pragma once

// The layout of BMP files: row strides, little-endian header fields, the
// headers of a one-bit file and the decoding of stored rows. Fields are read
// and written byte by byte, so the host's byte order does not matter.

#include <cstddef>
#include <cstdint>

struct BMFH;
struct BMIH;
struct RGBApixel;

namespace kesto {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
constexpr uint16_t kBmpSignature = 19778;  // "BM"
// Both headers and a two-entry colour table: where a one-bit file's pixels start.
constexpr uint32_t kOneBitHeadBytes = 62;

// Bytes of one stored row of `width` pixels at `depth` bits: the pixels' bytes
// (a partly used byte counts whole) rounded up to a multiple of 4. A negative
// width, which only a hostile header gives, comes out in integer arithmetic as
// ((width + 31) / 8) & ~3 at one bit and ((width + 1) * 3) & ~3 at 24 bits.
constexpr int64_t RowStride(int64_t width, int depth) {
    const int64_t bytes = depth % 8 == 0 ? width * (depth / 8) : (width * depth + 7) / 8;
    return (bytes + 3) & ~int64_t{3};
}

constexpr uint16_t GetLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint32_t GetLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void PutLe16(unsigned char* p, uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutLe32(unsigned char* p, uint32_t value) {
    PutLe16(p, static_cast<uint16_t>(value));
    PutLe16(p + 2, static_cast<uint16_t>(value >> 16));
}

// The 14 bytes of a file header.
void TakeFileHeader(const unsigned char* bytes, BMFH& header);
// The fields of an info header that lie wholly within the first `got` of its
// 40 bytes; the others keep their values.
void TakeInfoHeader(const unsigned char* bytes, size_t got, BMIH& header);

// The kOneBitHeadBytes before the pixels of a bottom-up one-bit file of
// width x height; a resolution of 0 (unknown) is written as 3780.
void PutOneBitHead(unsigned char* out, int width, int height, int xPelsPerMeter, int yPelsPerMeter,
                   const RGBApixel table[2]);

// One stored row into `width` pixels. Indexed rows (1, 4 or 8 bits) hold
// table indices, leftmost pixel in the most significant bits; 16-bit rows
// little-endian words that the red, green and blue masks split into 5-bit
// values, scaled to 8 bits; 24-bit rows blue, green, red. Alpha is 0 but for
// table entries.
void DecodeIndexedRow(const unsigned char* in, int depth, const RGBApixel* table, int width, RGBApixel* out);
void Decode16bitRow(const unsigned char* in, const uint16_t masks[3], int width, RGBApixel* out);
void Decode24bitRow(const unsigned char* in, int width, RGBApixel* out);

}  // namespace kesto
