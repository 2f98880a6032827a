#pragma once

// The image benchmarks' test picture and their floor, shared so that every
// image row is measured against the same pixels and the same plainest loop.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace kesto::bench {

// width x height pixels of grey levels that make a mix of black and white
// runs: bottom-up rows, blue, green, red, no padding.
inline std::vector<unsigned char> GreyRuns(int width, int height) {
    std::vector<unsigned char> bgr(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto grey = static_cast<unsigned char>(((x * 7 + y * 3) ^ ((x * y) >> 6)) & 0xFF);
            unsigned char* px = &bgr[(static_cast<size_t>(y) * width + x) * 3];
            px[0] = grey;
            px[1] = static_cast<unsigned char>(grey ^ 0x10);
            px[2] = static_cast<unsigned char>(255 - grey);
        }
    }
    return bgr;
}

// Writes the pixels as an uncompressed 24-bit bottom-up BMP file.
inline void WriteBmp24(const std::string& path, const std::vector<unsigned char>& bgr, int width,
                       int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixels = stride * static_cast<uint32_t>(height);
    std::vector<unsigned char> file;
    auto put = [&file](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    put('B' | 'M' << 8, 2);
    put(54 + pixels, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(static_cast<uint32_t>(width), 4);
    put(static_cast<uint32_t>(height), 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(pixels, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 8);
    for (int y = 0; y < height; ++y) {
        const auto row = bgr.begin() + static_cast<std::ptrdiff_t>(y) * width * 3;
        file.insert(file.end(), row, row + width * 3);
        file.resize(file.size() + (stride - static_cast<uint32_t>(width) * 3), 0);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

// The floor of every image row: the pixels, already in memory, thresholded and
// packed to one bit by the plainest loop, top row first.
inline void ThresholdAndPack(const std::vector<unsigned char>& bgr, int width, int height,
                             std::vector<unsigned char>& packed) {
    const int rowBytes = (width + 7) / 8;
    packed.assign(static_cast<size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = &bgr[static_cast<size_t>(height - 1 - y) * width * 3];
        unsigned char* out = &packed[static_cast<size_t>(y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            const int sum = row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
            if (sum < 3 * 128) out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
    }
}

}  // namespace kesto::bench
