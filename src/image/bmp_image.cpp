#include "image/bmp_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

std::atomic<bool> EasyBMPwarnings{true};

void SetEasyBMPwarningsOn() {
    EasyBMPwarnings = true;
}
void SetEasyBMPwarningsOff() {
    EasyBMPwarnings = false;
}
bool GetEasyBMPwarningState() {
    return EasyBMPwarnings;
}

namespace kesto {

bool ImageSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageWidth && height <= kMaxImageHeight &&
           width * height <= kMaxImagePixels;
}

}  // namespace kesto

namespace {

const char* const kIndent = "                 ";     // lines up under "EasyBMP Warning: "
const char* const kErrorIndent = "               ";  // lines up under "EasyBMP Error: "

// Writes a finished message (its lines each ending in '\n') while warnings are on.
void Say(const std::ostringstream& message) {
    if (EasyBMPwarnings) {
        std::cout << message.str() << std::flush;
    }
}

std::string NameOf(const char* fileName) {
    return fileName ? fileName : "";
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A buffer for one row of pixel data; false when it cannot be had.
bool MakeRowBuffer(std::vector<unsigned char>& row, int bytes) {
    try {
        row.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Reads one row of pixel data; says so when the file ends first.
bool ReadRow(FILE* file, std::vector<unsigned char>& row) {
    if (SafeFread(reinterpret_cast<char*>(row.data()), 1, static_cast<int>(row.size()), file)) return true;
    std::ostringstream m;
    m << "EasyBMP Error: Could not read proper amount of data.\n";
    Say(m);
    return false;
}

bool ReadLe16(FILE* file, uint16_t& value) {
    unsigned char b[2];
    if (!SafeFread(reinterpret_cast<char*>(b), 1, 2, file)) return false;
    value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool ReadLe32(FILE* file, uint32_t& value) {
    unsigned char b[4];
    if (!SafeFread(reinterpret_cast<char*>(b), 1, 4, file)) return false;
    value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
            (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool ReadLe32(FILE* file, int32_t& value) {
    uint32_t raw;
    if (!ReadLe32(file, raw)) return false;
    value = static_cast<int32_t>(raw);
    return true;
}

void PutLe16(std::vector<unsigned char>& out, uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutLe32(std::vector<unsigned char>& out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

// Reads the 40 bytes of an info header field by field; a field that cannot be
// read keeps its value. True when every field was read.
bool ReadInfoHeader(FILE* file, BMIH& h) {
    bool ok = ReadLe32(file, h.biSize);
    ok = ReadLe32(file, h.biWidth) && ok;
    ok = ReadLe32(file, h.biHeight) && ok;
    ok = ReadLe16(file, h.biPlanes) && ok;
    ok = ReadLe16(file, h.biBitCount) && ok;
    ok = ReadLe32(file, h.biCompression) && ok;
    ok = ReadLe32(file, h.biSizeImage) && ok;
    ok = ReadLe32(file, h.biXPelsPerMeter) && ok;
    ok = ReadLe32(file, h.biYPelsPerMeter) && ok;
    ok = ReadLe32(file, h.biClrUsed) && ok;
    ok = ReadLe32(file, h.biClrImportant) && ok;
    return ok;
}

// Bytes of one stored row: width x depth bits rounded up to whole 4-byte words.
int64_t RowBytes(int64_t width, int depth) {
    return (width * depth + 31) / 32 * 4;
}

bool SupportedDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

const RGBApixel kWhite{255, 255, 255, 0};

}  // namespace

bool SafeFread(char* buffer, int size, int count, FILE* stream) {
    if (!buffer || !stream || size < 0 || count < 0) return false;
    if (std::feof(stream)) return false;
    return std::fread(buffer, static_cast<size_t>(size), static_cast<size_t>(count), stream) ==
           static_cast<size_t>(count);
}

BMP::BMP() : pixels_(1) {}

int BMP::TellNumberOfColors() const {
    return bitDepth_ == 32 ? 1 << 24 : 1 << bitDepth_;
}

bool BMP::SetSize(int width, int height) {
    if (width < 1 || height < 1) {
        std::ostringstream m;
        m << "EasyBMP Warning: User attempted to set a non-positive width or height.\n"
          << kIndent << "Size remains unchanged at " << width_ << " x " << height_ << ".\n";
        Say(m);
        return false;
    }
    if (!kesto::ImageSizeAllowed(width, height)) {
        std::ostringstream m;
        m << "EasyBMP Warning: User attempted to set a size of " << width << " x " << height
          << ", larger than an image may be.\n"
          << kIndent << "Size remains unchanged at " << width_ << " x " << height_ << ".\n";
        Say(m);
        return false;
    }
    try {
        std::vector<RGBApixel> grid(static_cast<size_t>(width) * static_cast<size_t>(height), kWhite);
        pixels_.swap(grid);
    } catch (const std::bad_alloc&) {
        std::ostringstream m;
        m << "EasyBMP Error: Not enough memory for " << width << " x " << height << " pixels.\n"
          << kErrorIndent << "Size remains unchanged at " << width_ << " x " << height_ << ".\n";
        Say(m);
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool BMP::SetBitDepth(int depth) {
    if (!SupportedDepth(depth)) {
        std::ostringstream m;
        m << "EasyBMP Warning: User attempted to set unsupported bit depth " << depth << ".\n"
          << kIndent << "Bit depth remains unchanged at " << bitDepth_ << ".\n";
        Say(m);
        return false;
    }
    bitDepth_ = depth;
    colorTable_.clear();
    if (depth <= 8) {
        colorTable_.resize(size_t{1} << depth);  // at most 256 entries
        CreateStandardColorTable();
    }
    return true;
}

bool BMP::CreateStandardColorTable() {
    if (bitDepth_ > 8 || colorTable_.size() != (size_t{1} << bitDepth_)) {
        std::ostringstream m;
        m << "EasyBMP Warning: Attempted to create color table at a bit\n"
          << kIndent << "depth that does not require a color table.\n"
          << kIndent << "Ignoring request.\n";
        Say(m);
        return false;
    }
    if (bitDepth_ == 1) {
        colorTable_[0] = RGBApixel{0, 0, 0, 0};
        colorTable_[1] = kWhite;
    } else if (bitDepth_ == 4) {
        // The sixteen classic display colours: dark ones, light grey, grey, bright ones.
        static const uint8_t kRgb[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (int i = 0; i < 16; ++i) colorTable_[i] = RGBApixel{kRgb[i][2], kRgb[i][1], kRgb[i][0], 0};
    } else {
        for (int i = 0; i < 256; ++i) {
            colorTable_[i] =
                RGBApixel{static_cast<uint8_t>((i & 3) * 85), static_cast<uint8_t>(((i >> 2) & 7) * 255 / 7),
                          static_cast<uint8_t>((i >> 5) * 255 / 7), 0};
        }
    }
    return true;
}

RGBApixel BMP::GetColor(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= colorTable_.size()) return kWhite;
    return colorTable_[index];
}

bool BMP::SetColor(int index, RGBApixel colour) {
    if (index < 0 || static_cast<size_t>(index) >= colorTable_.size()) return false;
    colorTable_[index] = colour;
    return true;
}

unsigned char BMP::FindClosestColor(RGBApixel& pixel) const {
    int best = 999999;
    unsigned char bestIndex = 0;
    for (size_t i = 0; i < colorTable_.size() && best > 0; ++i) {
        const int dr = pixel.Red - colorTable_[i].Red;
        const int dg = pixel.Green - colorTable_[i].Green;
        const int db = pixel.Blue - colorTable_[i].Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestIndex = static_cast<unsigned char>(i);
        }
    }
    return bestIndex;
}

RGBApixel BMP::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return kWhite;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

bool BMP::SetPixel(int x, int y, RGBApixel colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    pixels_[static_cast<size_t>(y) * width_ + x] = colour;
    return true;
}

void BMP::ResetAfterFailedRead() {
    SetSize(1, 1);
    SetBitDepth(1);
}

bool BMP::ReadFromFile(const char* fileName) {
    const std::string name = NameOf(fileName);
    File file(fileName ? std::fopen(fileName, "rb") : nullptr);
    if (!file) {
        std::ostringstream m;
        m << "EasyBMP Error: Cannot open file " << name << " for input.\n";
        Say(m);
        SetBitDepth(1);
        SetSize(1, 1);
        return false;
    }

    BMFH fh;
    ReadLe16(file.get(), fh.bfType);  // an empty file keeps the default "BM"
    if (fh.bfType != 19778) {
        std::ostringstream m;
        m << "EasyBMP Error: " << name << " is not a Windows BMP file!\n";
        Say(m);
        return false;
    }

    BMIH ih;
    bool complete = ReadLe32(file.get(), fh.bfSize);
    complete = ReadLe16(file.get(), fh.bfReserved1) && complete;
    complete = ReadLe16(file.get(), fh.bfReserved2) && complete;
    complete = ReadLe32(file.get(), fh.bfOffBits) && complete;
    complete = ReadInfoHeader(file.get(), ih) && complete;
    if (!complete) {
        std::ostringstream m;
        m << "EasyBMP Error: " << name << " is obviously corrupted.\n";
        Say(m);
        ResetAfterFailedRead();
        return false;
    }

    xPelsPerMeter_ = static_cast<int>(std::min<uint32_t>(ih.biXPelsPerMeter, INT32_MAX));
    yPelsPerMeter_ = static_cast<int>(std::min<uint32_t>(ih.biYPelsPerMeter, INT32_MAX));

    std::ostringstream m;
    bool refused = true;
    if (ih.biCompression == 1 || ih.biCompression == 2) {
        m << "EasyBMP Error: " << name << " is (RLE) compressed.\n"
          << kErrorIndent << "EasyBMP does not support compression.\n";
    } else if (ih.biCompression >= 4) {
        m << "EasyBMP Error: " << name << " is in an unsupported format.\n"
          << kErrorIndent << "(bmih.biCompression = " << ih.biCompression << ")\n"
          << kErrorIndent << "The file is probably an old OS2 bitmap or corrupted.\n";
    } else if (ih.biCompression == 3 && ih.biBitCount != 16) {
        m << "EasyBMP Error: " << name << " uses bit fields and is not a\n"
          << kErrorIndent << "16-bit file. This is not supported.\n";
    } else if (!SupportedDepth(ih.biBitCount)) {
        m << "EasyBMP Error: " << name << " has unrecognized bit depth.\n";
    } else {
        SetBitDepth(ih.biBitCount);
        if (ih.biWidth < 1 || ih.biHeight < 1) {
            m << "EasyBMP Error: " << name << " has a non-positive width or height@@.\n";
        } else if (!kesto::ImageSizeAllowed(ih.biWidth, ih.biHeight)) {
            m << "EasyBMP Error: " << name << " is too large (" << ih.biWidth << " x " << ih.biHeight
              << ").\n";
        } else {
            refused = !SetSize(ih.biWidth, ih.biHeight);  // fails only when memory runs out
        }
    }
    if (refused) {
        Say(m);
        ResetAfterFailedRead();
        return false;
    }

    const int depth = bitDepth_;
    const int64_t afterHeaders = static_cast<int64_t>(fh.bfOffBits) - 54;

    if (depth <= 8) {
        const int64_t colours = TellNumberOfColors();
        const int64_t stored = std::clamp<int64_t>(afterHeaders / 4, 0, colours);
        if (stored < colours) {
            std::ostringstream w;
            w << "EasyBMP Warning: file " << name << " has an underspecified\n"
              << kIndent << "color table. The table will be padded with extra\n"
              << kIndent << "white (255,255,255,0) entries.\n";
            Say(w);
        }
        int64_t i = 0;
        for (; i < stored; ++i) {
            unsigned char entry[4];
            if (!SafeFread(reinterpret_cast<char*>(entry), 1, 4, file.get())) break;
            colorTable_[i] = RGBApixel{entry[0], entry[1], entry[2], entry[3]};
        }
        for (; i < colours; ++i) colorTable_[i] = kWhite;
    }

    int64_t extra = afterHeaders;
    if (depth < 16) extra -= 4 * int64_t{TellNumberOfColors()};
    if (depth == 16 && ih.biCompression == 3) extra -= 12;
    extra = std::max<int64_t>(extra, 0);

    auto skipExtra = [&] {
        if (extra == 0) return;
        std::ostringstream w;
        w << "EasyBMP Warning: Extra meta data detected in file " << name << "\n"
          << kIndent << "Data will be skipped.\n";
        Say(w);
        // Moving forward past the end is harmless: the row reads then come up short.
        std::fseek(file.get(), static_cast<long>(extra), SEEK_CUR);
    };

    if (depth != 16) {
        skipExtra();
        ReadPixelRows(file.get(), static_cast<int>(RowBytes(width_, depth)));
        return true;
    }

    uint16_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue: 5-5-5
    if (ih.biCompression != 0) {
        for (uint16_t& mask : masks) {
            uint16_t value, skipped;
            if (ReadLe16(file.get(), value)) mask = value;
            ReadLe16(file.get(), skipped);
        }
    }
    skipExtra();
    const int dataBytes = 2 * width_;
    Read16bitRows(file.get(), masks, dataBytes, static_cast<int>(RowBytes(width_, 16)) - dataBytes);
    return true;
}

// Rows of 1, 4, 8, 24 or 32 bits, bottom row first. A short row ends the read.
bool BMP::ReadPixelRows(FILE* file, int rowBytes) {
    std::vector<unsigned char> row;
    if (!MakeRowBuffer(row, rowBytes)) return false;
    for (int y = height_ - 1; y >= 0; --y) {
        if (!ReadRow(file, row)) return false;
        RGBApixel* out = &pixels_[static_cast<size_t>(y) * width_];
        for (int x = 0; x < width_; ++x) {
            switch (bitDepth_) {
                case 1:
                    out[x] = colorTable_[(row[x / 8] >> (7 - x % 8)) & 1];
                    break;
                case 4:
                    out[x] = colorTable_[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F];
                    break;
                case 8:
                    out[x] = colorTable_[row[x]];
                    break;
                case 24:
                    out[x] = RGBApixel{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
                    break;
                default:  // 32
                    out[x] = RGBApixel{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
                    break;
            }
        }
    }
    return true;
}

// 16-bit rows, bottom row first: each pixel a little-endian word split by the
// red, green and blue masks into 5-bit values, scaled to 8 bits.
bool BMP::Read16bitRows(FILE* file, const uint16_t masks[3], int dataBytes, int padding) {
    int shifts[3];
    for (int c = 0; c < 3; ++c) {
        shifts[c] = 0;
        while ((masks[c] >> shifts[c]) > 31) ++shifts[c];
    }
    std::vector<unsigned char> row;
    if (!MakeRowBuffer(row, dataBytes)) return false;
    for (int y = height_ - 1; y >= 0; --y) {
        if (!ReadRow(file, row)) return false;
        RGBApixel* out = &pixels_[static_cast<size_t>(y) * width_];
        for (int x = 0; x < width_; ++x) {
            const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
            auto channel = [&](int c) { return static_cast<uint8_t>(((word & masks[c]) >> shifts[c]) << 3); };
            out[x] = RGBApixel{channel(2), channel(1), channel(0), 0};
        }
        char pad[2];
        if (padding > 0) SafeFread(pad, 1, padding, file);
    }
    return true;
}

bool BMP::Write1bitRow(unsigned char* buffer, int bufferSize, int row) {
    if (!buffer || bufferSize < 0 || row < 0 || row >= height_) return false;
    if (width_ > 8 * static_cast<int64_t>(bufferSize)) return false;
    const RGBApixel* line = &pixels_[static_cast<size_t>(row) * width_];
    if (colorTable_.size() == 2) {
        // The usual two-entry table, with FindClosestColor's choice worked out
        // once: entry 1 is strictly closer than entry 0 exactly when
        // 2 p.(c1 - c0) > |c1|^2 - |c0|^2 (ties stay with entry 0). This loop
        // runs for every pixel of every printed image.
        const RGBApixel c0 = colorTable_[0];
        const RGBApixel c1 = colorTable_[1];
        const int wr = c1.Red - c0.Red;
        const int wg = c1.Green - c0.Green;
        const int wb = c1.Blue - c0.Blue;
        const int limit = (c1.Red * c1.Red + c1.Green * c1.Green + c1.Blue * c1.Blue) -
                          (c0.Red * c0.Red + c0.Green * c0.Green + c0.Blue * c0.Blue);
        for (int start = 0; start < width_; start += 8) {
            unsigned sum = 0;
            const int count = std::min(8, width_ - start);
            for (int j = 0; j < count; ++j) {
                const RGBApixel& pixel = line[start + j];
                if (2 * (pixel.Red * wr + pixel.Green * wg + pixel.Blue * wb) > limit) sum |= 0x80u >> j;
            }
            buffer[start / 8] = static_cast<unsigned char>(~sum);
        }
        return true;
    }
    for (int start = 0; start < width_; start += 8) {
        unsigned sum = 0;
        for (int j = 0; j < 8 && start + j < width_; ++j) {
            RGBApixel pixel = line[start + j];
            if (FindClosestColor(pixel) != 0) sum |= 0x80u >> j;
        }
        buffer[start / 8] = static_cast<unsigned char>(~sum);
    }
    return true;
}

bool BMP::WriteToFile(const char* fileName) {
    const std::string name = NameOf(fileName);
    if (bitDepth_ != 1) {
        std::ostringstream m;
        m << "EasyBMP Error: Writing at a bit depth of " << bitDepth_ << " is not supported.\n";
        Say(m);
        return false;
    }
    // O_NOFOLLOW: a link planted at a fixed path in /tmp must not redirect the write.
    const int fd =
        fileName ? ::open(fileName, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644) : -1;
    File file(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
    if (!file) {
        if (fd >= 0) ::close(fd);
        std::ostringstream m;
        m << "EasyBMP Error: Cannot open file " << name << " for output.\n";
        Say(m);
        return false;
    }
    if (colorTable_.size() != 2) {
        colorTable_.assign(2, RGBApixel{});
        CreateStandardColorTable();
    }

    const int rowBytes = static_cast<int>(RowBytes(width_, 1));
    const uint32_t pixelBytes = static_cast<uint32_t>(rowBytes) * static_cast<uint32_t>(height_);

    std::vector<unsigned char> head;
    head.reserve(62);
    PutLe16(head, 19778);
    PutLe32(head, 62 + pixelBytes);
    PutLe16(head, 0);
    PutLe16(head, 0);
    PutLe32(head, 62);
    PutLe32(head, 40);
    PutLe32(head, static_cast<uint32_t>(width_));
    PutLe32(head, static_cast<uint32_t>(height_));
    PutLe16(head, 1);
    PutLe16(head, 1);
    PutLe32(head, 0);
    PutLe32(head, pixelBytes);
    PutLe32(head, xPelsPerMeter_ ? static_cast<uint32_t>(xPelsPerMeter_) : 3780);
    PutLe32(head, yPelsPerMeter_ ? static_cast<uint32_t>(yPelsPerMeter_) : 3780);
    PutLe32(head, 0);
    PutLe32(head, 0);
    for (const RGBApixel& c : colorTable_) {
        head.insert(head.end(), {c.Blue, c.Green, c.Red, c.Alpha});
    }

    bool complete = std::fwrite(head.data(), 1, head.size(), file.get()) == head.size();
    std::vector<unsigned char> row(rowBytes, 0);
    for (int y = height_ - 1; y >= 0 && complete; --y) {
        Write1bitRow(row.data(), rowBytes, y);
        complete = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
    }
    if (!complete) {
        std::ostringstream m;
        m << "EasyBMP Error: Could not write proper amount of data.\n";
        Say(m);
    }
    // Buffered data goes out on close; a failure there is a lost file too.
    const bool closed = std::fclose(file.release()) == 0;
    return complete && closed;
}

bool CreateGrayscaleColorTable(BMP& image) {
    const int depth = image.TellBitDepth();
    if (depth > 8 || image.colorTable_.size() != (size_t{1} << depth)) {
        std::ostringstream m;
        m << "EasyBMP Warning: Attempted to create color table at a bit\n"
          << kIndent << "depth that does not require a color table.\n"
          << kIndent << "Ignoring request.\n";
        Say(m);
        return false;
    }
    const int colours = image.TellNumberOfColors();
    const int step = depth == 1 ? 255 : 255 / (colours - 1);
    for (int i = 0; i < colours; ++i) {
        const uint8_t g = static_cast<uint8_t>((i * step) % 256);
        image.SetColor(i, RGBApixel{g, g, g, 0});
    }
    return true;
}

BMIH GetBMIH(const char* fileName) {
    BMIH header;
    File file(fileName ? std::fopen(fileName, "rb") : nullptr);
    if (!file) {
        std::ostringstream m;
        m << "EasyBMP Error: Cannot initialize from file " << NameOf(fileName) << ".\n"
          << kErrorIndent << "File cannot be opened or does not exist.\n";
        Say(m);
        return header;
    }
    char fileHeader[14];
    SafeFread(fileHeader, 1, 14, file.get());
    ReadInfoHeader(file.get(), header);
    return header;
}
