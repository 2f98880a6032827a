// Small helpers shared by the virtual printer tests: ESC/POS byte builders,
// PNG reading and barcode decoding.
#pragma once

#define ZX_USE_UTF8 1  // text() as UTF-8
#include <ZXing/ReadBarcode.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bitmap.h"

namespace kesto::vprinter::test {

inline std::string Esc(char code, std::initializer_list<int> args = {}) {
    std::string s = {'\x1B', code};
    for (int a : args) s += static_cast<char>(a);
    return s;
}
inline std::string Gs(char code, std::initializer_list<int> args = {}) {
    std::string s = {'\x1D', code};
    for (int a : args) s += static_cast<char>(a);
    return s;
}
// GS ( k pL pH cn fn data...
inline std::string Gs2d(char cn, char fn, const std::string& params) {
    size_t len = params.size() + 2;
    std::string s = "\x1D(k";
    s += static_cast<char>(len & 0xFF);
    s += static_cast<char>(len >> 8);
    s += cn;
    s += fn;
    return s + params;
}
inline std::string QrCode(const std::string& data, int module = 4) {
    return Gs2d('1', 'A', std::string("2\0", 2)) + Gs2d('1', 'C', std::string(1, static_cast<char>(module))) +
           Gs2d('1', 'E', "1") + Gs2d('1', 'P', "0" + data) + Gs2d('1', 'Q', "0");
}
inline std::string Pdf417(const std::string& data) {
    return Gs2d('0', 'A', std::string(1, '\0')) + Gs2d('0', 'B', std::string(1, '\0')) +
           Gs2d('0', 'C', "\x03") + Gs2d('0', 'D', "\x03") + Gs2d('0', 'E', "00") +
           Gs2d('0', 'P', "0" + data) + Gs2d('0', 'Q', "0");
}
inline std::string BarcodeNul(int m, const std::string& data) {
    return Gs('k', {m}) + data + std::string(1, '\0');
}
inline std::string BarcodeLen(int m, const std::string& data) {
    return Gs('k', {m, static_cast<int>(data.size())}) + data;
}

// Grey pixels of a PNG file (row by row), or empty when it cannot be read.
struct GreyImage {
    int width = 0, height = 0;
    std::vector<uint8_t> px;
};
inline GreyImage ReadPng(const std::string& path) {
    GreyImage img;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return img;
    image.format = PNG_FORMAT_GRAY;
    img.px.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, img.px.data(), 0, nullptr)) {
        png_image_free(&image);
        return GreyImage{};
    }
    img.width = static_cast<int>(image.width);
    img.height = static_cast<int>(image.height);
    return img;
}

// Decodes the one code in `img` (with a white border added, as the paper
// around a receipt gives a scanner).
inline ZXing::Result Decode(const GreyImage& img, ZXing::BarcodeFormat format) {
    constexpr int kBorder = 40;
    int w = img.width + 2 * kBorder, h = img.height + 2 * kBorder;
    std::vector<uint8_t> lum(static_cast<size_t>(w) * h, 255);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            lum[static_cast<size_t>(y + kBorder) * w + x + kBorder] =
                img.px[static_cast<size_t>(y) * img.width + x];
    ZXing::DecodeHints hints;
    hints.setFormats(format);
    hints.setTryHarder(true);
    return ZXing::ReadBarcode(ZXing::ImageView(lum.data(), w, h, ZXing::ImageFormat::Lum), hints);
}

inline int InkIn(const Bitmap& b, int x, int y, int w, int h) {
    int n = 0;
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx) n += b.Get(xx, yy) ? 1 : 0;
    return n;
}

}  // namespace kesto::vprinter::test
