#pragma once

// In-memory colour image with a bit depth and, for 1, 4 and 8 bits, a colour
// table; reads uncompressed BMP files and writes them at one bit per pixel.
// Internal to the library. Warnings and errors go to std::cout while the
// warnings switch is on.
//
// Files are little-endian in every field; fields are read and written byte by
// byte, so the host's byte order does not matter.
//
// Nothing in a file is trusted: sizes a receipt printer cannot use or memory
// cannot hold are refused (see the limits below), short files end the read
// where the data ends, and no read or write leaves its buffer.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kesto {

// Largest image the image code accepts, from any file or caller. A receipt
// raster header carries at most 16 bits of height, and the pixel grid costs
// 4 bytes per pixel: 64 Mi pixels is a 256 MiB grid, far beyond any receipt.
constexpr int kMaxImageWidth = 65535;
constexpr int kMaxImageHeight = 65535;
#ifdef KESTO_IMAGE_MAX_PIXELS  // the fuzz build lowers it to keep runs fast
constexpr int64_t kMaxImagePixels = KESTO_IMAGE_MAX_PIXELS;
#else
constexpr int64_t kMaxImagePixels = int64_t{64} << 20;
#endif

// True when width x height is an image the image code will hold.
bool ImageSizeAllowed(int64_t width, int64_t height);

}  // namespace kesto

// Plain bytes, in a 32-bit file's order: a grid of them can be made without
// writing it first. RGBApixel{} is black, alpha 0.
struct RGBApixel {
    uint8_t Blue;
    uint8_t Green;
    uint8_t Red;
    uint8_t Alpha;
};

// File header, 14 bytes in a file.
struct BMFH {
    uint16_t bfType = 19778;  // "BM"
    uint32_t bfSize = 0;
    uint16_t bfReserved1 = 0;
    uint16_t bfReserved2 = 0;
    uint32_t bfOffBits = 0;
};

// Info header, 40 bytes in a file. Fields a file does not give read as 0, so
// the header of a missing file has bit count 0 and height 0.
struct BMIH {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    uint32_t biXPelsPerMeter = 3780;
    uint32_t biYPelsPerMeter = 3780;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// Warnings switch, on from the start. Results never depend on it. Atomic
// because any host thread may print an image.
extern std::atomic<bool> EasyBMPwarnings;
void SetEasyBMPwarningsOn();
void SetEasyBMPwarningsOff();
bool GetEasyBMPwarningState();

// Reads count items of size bytes. False at end of file (checked before
// reading) or when fewer than count items arrive.
bool SafeFread(char* buffer, int size, int count, FILE* stream);

class BMP {
public:
    // 1 x 1 at 24 bits, no colour table, resolution unknown (0).
    BMP();

    int TellBitDepth() const { return bitDepth_; }
    int TellWidth() const { return width_; }
    int TellHeight() const { return height_; }
    // 2^depth, but 2^24 for 32 bits.
    int TellNumberOfColors() const;

    // A width x height grid of white pixels (alpha 0). A non-positive size, one
    // beyond the limits above, or a grid that cannot be allocated leaves the
    // image as it was and returns false.
    bool SetSize(int width, int height);
    // 1, 4, 8, 16, 24 or 32. Depths 1, 4 and 8 get the standard table of that
    // depth; the pixels keep their colours.
    bool SetBitDepth(int depth);
    // One bit: black, white. Four bits: the sixteen classic display colours.
    // Eight bits: 3 bits of red, 3 of green, 2 of blue.
    bool CreateStandardColorTable();

    // Colour-table entry; an index outside the table gives white (255,255,255,0).
    RGBApixel GetColor(int index) const;
    // False, and nothing changed, for an index outside the table.
    bool SetColor(int index, RGBApixel colour);
    // Index of the nearest table entry by squared RGB distance, the lower index
    // on a tie; 0 when the image has no table.
    unsigned char FindClosestColor(RGBApixel& pixel) const;

    // Pixel (x, y), y = 0 the top row. Outside the image: white, and false.
    RGBApixel GetPixel(int x, int y) const;
    bool SetPixel(int x, int y, RGBApixel colour);

    // Uncompressed BMP of 1, 4, 8, 16 (5-5-5 or bit fields), 24 or 32 bits,
    // bottom-up. False on failure; the image is then 1 x 1 at one bit, except
    // when the file is not a BMP at all, which leaves the image as it was.
    // A file that ends inside the pixel data gives true; missing rows stay white.
    bool ReadFromFile(const char* fileName);

    // Writes the image at one bit per pixel; bits are the complement of the
    // table indices, so with the standard table a black pixel is a 1 bit (a
    // printed dot). Other depths are refused (false), as is a symbolic link at
    // fileName (the file is opened with O_NOFOLLOW). A short write or a failed
    // close gives false.
    bool WriteToFile(const char* fileName);

    // Packs row `row` into bufferSize bytes, 8 pixels per byte, leftmost pixel
    // in the most significant bit, complemented. False when the row does not
    // fit or does not exist.
    bool Write1bitRow(unsigned char* buffer, int bufferSize, int row);

private:
    friend bool CreateGrayscaleColorTable(BMP& image);

    bool Resize(int width, int height);
    void ResetAfterFailedRead();
    bool TakeFormat(const std::string& name, const BMIH& ih);
    void ReadColorTable(FILE* file, const std::string& name, int64_t entries);
    void ReadPixels(FILE* file, const uint16_t masks[3]);

    int bitDepth_ = 24;
    int width_ = 1;
    int height_ = 1;
    std::unique_ptr<RGBApixel[]> pixels_;  // row-major, top row first; an image is moved, not copied
    std::vector<RGBApixel> colorTable_;
    int xPelsPerMeter_ = 0;
    int yPelsPerMeter_ = 0;
};

// Grey ramp for depths 1, 4 and 8: entry i is g = i * step mod 256, step 255
// for one bit and 255 / (colours - 1) otherwise. False at other depths.
bool CreateGrayscaleColorTable(BMP& image);

// The info header of a file, field by field; fields that cannot be read keep
// their defaults. A file that cannot be opened gives the default header.
BMIH GetBMIH(const char* fileName);
