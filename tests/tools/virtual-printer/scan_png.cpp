// Prints every code ZXing reads in a PNG file, one "<format> <text>" line each: the
// JVM tests check the codes on a receipt the virtual printer rendered with it.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
        return 2;
    }
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load(argv[1], &w, &h, &channels, 1),
                                                     stbi_image_free);
    if (!pixels) {
        std::fprintf(stderr, "%s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    // White paper around the receipt: a code printed at its edge keeps a quiet zone.
    const int border = 40, bw = w + 2 * border, bh = h + 2 * border;
    std::vector<uint8_t> lum(static_cast<size_t>(bw) * bh, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            lum[static_cast<size_t>(y + border) * bw + x + border] =
                pixels.get()[static_cast<size_t>(y) * w + x];
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    for (const ZXing::Result& r :
         ZXing::ReadBarcodes(ZXing::ImageView(lum.data(), bw, bh, ZXing::ImageFormat::Lum), hints))
        std::printf("%s %s\n", ZXing::ToString(r.format()), r.text().c_str());
    return 0;
}
