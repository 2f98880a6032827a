#include "image/bmp_format.h"

#include <cstring>
#include <type_traits>

#include "image/bmp_image.h"

namespace kesto {

void TakeFileHeader(const unsigned char* bytes, BMFH& header) {
    header.bfType = GetLe16(bytes);
    header.bfSize = GetLe32(bytes + 2);
    header.bfReserved1 = GetLe16(bytes + 6);
    header.bfReserved2 = GetLe16(bytes + 8);
    header.bfOffBits = GetLe32(bytes + 10);
}

void TakeInfoHeader(const unsigned char* bytes, size_t got, BMIH& header) {
    auto take32 = [&](size_t at, auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        if (at + 4 <= got) field = static_cast<Field>(GetLe32(bytes + at));
    };
    auto take16 = [&](size_t at, uint16_t& field) {
        if (at + 2 <= got) field = GetLe16(bytes + at);
    };
    take32(0, header.biSize);
    take32(4, header.biWidth);
    take32(8, header.biHeight);
    take16(12, header.biPlanes);
    take16(14, header.biBitCount);
    take32(16, header.biCompression);
    take32(20, header.biSizeImage);
    take32(24, header.biXPelsPerMeter);
    take32(28, header.biYPelsPerMeter);
    take32(32, header.biClrUsed);
    take32(36, header.biClrImportant);
}

void PutOneBitHead(unsigned char* out, int width, int height, int xPelsPerMeter, int yPelsPerMeter,
                   const RGBApixel table[2]) {
    const uint32_t pixelBytes = static_cast<uint32_t>(RowStride(width, 1)) * static_cast<uint32_t>(height);
    PutLe16(out, kBmpSignature);
    PutLe32(out + 2, kOneBitHeadBytes + pixelBytes);
    PutLe32(out + 6, 0);  // both reserved words
    PutLe32(out + 10, kOneBitHeadBytes);
    unsigned char* info = out + kFileHeaderBytes;
    PutLe32(info, kInfoHeaderBytes);
    PutLe32(info + 4, static_cast<uint32_t>(width));
    PutLe32(info + 8, static_cast<uint32_t>(height));  // positive: rows stored bottom-up
    PutLe16(info + 12, 1);                             // planes
    PutLe16(info + 14, 1);                             // bits per pixel
    PutLe32(info + 16, 0);                             // no compression
    PutLe32(info + 20, pixelBytes);
    PutLe32(info + 24, xPelsPerMeter ? static_cast<uint32_t>(xPelsPerMeter) : 3780);
    PutLe32(info + 28, yPelsPerMeter ? static_cast<uint32_t>(yPelsPerMeter) : 3780);
    PutLe32(info + 32, 0);  // colours used
    PutLe32(info + 36, 0);  // important colours
    unsigned char* entry = info + kInfoHeaderBytes;
    for (int i = 0; i < 2; ++i, entry += 4) {
        entry[0] = table[i].Blue;
        entry[1] = table[i].Green;
        entry[2] = table[i].Red;
        entry[3] = table[i].Alpha;
    }
}

void DecodeIndexedRow(const unsigned char* in, int depth, const RGBApixel* table, int width, RGBApixel* out) {
    const int perByte = 8 / depth;
    const unsigned mask = (1u << depth) - 1;
    for (int x = 0; x < width; ++x) {
        const int shift = 8 - depth * (x % perByte + 1);
        out[x] = table[(in[x / perByte] >> shift) & mask];
    }
}

void Decode16bitRow(const unsigned char* in, const uint16_t masks[3], int width, RGBApixel* out) {
    int shifts[3];
    for (int c = 0; c < 3; ++c) {
        shifts[c] = 0;
        while ((masks[c] >> shifts[c]) > 31) ++shifts[c];
    }
    for (int x = 0; x < width; ++x) {
        const unsigned word = GetLe16(in + 2 * static_cast<ptrdiff_t>(x));
        auto channel = [&](int c) { return static_cast<uint8_t>(((word & masks[c]) >> shifts[c]) << 3); };
        out[x] = RGBApixel{channel(2), channel(1), channel(0), 0};
    }
}

// Four bytes are copied at a time, the fourth (the next pixel's blue) cleared
// after: plain moves, where a byte-wise interleave would need shuffles that
// baseline x86-64 lacks.
void Decode24bitRow(const unsigned char* in, int width, RGBApixel* out) {
    for (int x = 0; x + 1 < width; ++x) {
        std::memcpy(&out[x], in + 3 * static_cast<ptrdiff_t>(x), 4);
        out[x].Alpha = 0;
    }
    const unsigned char* last = in + 3 * static_cast<ptrdiff_t>(width - 1);
    out[width - 1] = RGBApixel{last[0], last[1], last[2], 0};
}

}  // namespace kesto
