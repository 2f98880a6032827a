#include "image/bmp_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "image/bmp_format.h"

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

using kesto::GetLe16;

const char* const kIndent = "                 ";     // lines up under "EasyBMP Warning: "
const char* const kErrorIndent = "               ";  // lines up under "EasyBMP Error: "

// Writes a finished message (its lines each ending in '\n') while warnings are on.
void Say(const std::ostringstream& message) {
    if (EasyBMPwarnings) {
        std::cout << message.str() << std::flush;
    }
}

bool SayNoTableNeeded() {
    std::ostringstream m;
    m << "EasyBMP Warning: Attempted to create color table at a bit\n"
      << kIndent << "depth that does not require a color table.\n"
      << kIndent << "Ignoring request.\n";
    Say(m);
    return false;
}

std::string NameOf(const char* fileName) {
    return fileName ? fileName : "";
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Reads up to size bytes and returns how many arrived; like SafeFread, nothing
// once the file has ended.
size_t ReadUpTo(FILE* file, unsigned char* buffer, size_t size) {
    if (std::feof(file)) return 0;
    return std::fread(buffer, 1, size, file);
}

enum class HeaderRead { kComplete, kNotBmp, kShort };

// The signature, the rest of the file header and the info header. A file too
// short for the signature keeps the default one and fails on the headers.
HeaderRead ReadHeaders(FILE* file, BMFH& fh, BMIH& ih) {
    unsigned char b[kesto::kFileHeaderBytes + kesto::kInfoHeaderBytes];
    if (ReadUpTo(file, b, 2) == 2) fh.bfType = GetLe16(b);
    if (fh.bfType != kesto::kBmpSignature) return HeaderRead::kNotBmp;
    const size_t got = ReadUpTo(file, b + 2, sizeof b - 2) + 2;
    if (got < sizeof b) return HeaderRead::kShort;
    kesto::TakeFileHeader(b, fh);
    kesto::TakeInfoHeader(b + kesto::kFileHeaderBytes, kesto::kInfoHeaderBytes, ih);
    return HeaderRead::kComplete;
}

bool SupportedDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

const RGBApixel kWhite{255, 255, 255, 0};
static_assert(sizeof(RGBApixel) == 4, "a pixel is its four bytes, as a 32-bit file stores them");

// Bytes of pixel data read with one fread: some 150 rows of a receipt-wide picture.
constexpr size_t kBatchBytes = size_t{256} * 1024;

// Reads `height` stored rows of `stride` bytes, bottom row first, many rows a
// fread, and hands each to decode(row bytes, y). A row counts once its first
// `needed` bytes are there: 16-bit files may lack the last row's padding. A
// short read ends the pixels with a message. Returns the lowest row read
// (height when none was).
template <typename Decode>
int ReadRows(FILE* file, int height, size_t stride, size_t needed, Decode decode) {
    const size_t batchRows = std::clamp<size_t>(kBatchBytes / stride, 1, static_cast<size_t>(height));
    std::unique_ptr<unsigned char[]> batch(new (std::nothrow) unsigned char[batchRows * stride]);
    int y = height - 1;
    while (batch && y >= 0) {
        const size_t rows = std::min(batchRows, static_cast<size_t>(y) + 1);
        const size_t got = ReadUpTo(file, batch.get(), rows * stride);
        size_t done = 0;
        for (; done < rows && done * stride + needed <= got; ++done) decode(batch.get() + done * stride, y--);
        if (done < rows) {
            std::ostringstream m;
            m << "EasyBMP Error: Could not read proper amount of data.\n";
            Say(m);
            break;
        }
    }
    return y + 1;
}

// Packs a row 8 pixels a byte, leftmost pixel in the most significant bit,
// complemented, so the bits past the width come out 1. choose(pixels, n, flags)
// sets flags[i] to the table index (0 or 1) of pixels[i]; it runs on a chunk
// of a row at a time, which lets the compiler vectorise the usual one.
template <typename Choose>
void PackComplemented(const RGBApixel* line, int width, unsigned char* out, Choose choose) {
    constexpr int kChunk = 512;
    uint8_t flags[kChunk];
    for (int start = 0; start < width; start += kChunk) {
        const int n = std::min(kChunk, width - start);
        choose(line + start, n, flags);
        const int whole = (n + 7) & ~7;
        std::fill(flags + n, flags + whole, 0);
        for (int i = 0; i < whole; i += 8) {
            unsigned sum = 0;
            for (int j = 0; j < 8; ++j) sum = sum << 1 | flags[i + j];
            out[(start + i) / 8] = static_cast<unsigned char>(~sum);
        }
    }
}

}  // namespace

bool SafeFread(char* buffer, int size, int count, FILE* stream) {
    if (!buffer || !stream || size < 0 || count < 0) return false;
    if (std::feof(stream)) return false;
    return std::fread(buffer, static_cast<size_t>(size), static_cast<size_t>(count), stream) ==
           static_cast<size_t>(count);
}

BMP::BMP() : pixels_(new RGBApixel[1]()) {}

int BMP::TellNumberOfColors() const {
    return bitDepth_ == 32 ? 1 << 24 : 1 << bitDepth_;
}

bool BMP::SetSize(int width, int height) {
    if (!Resize(width, height)) return false;
    std::fill_n(pixels_.get(), static_cast<size_t>(width) * static_cast<size_t>(height), kWhite);
    return true;
}

// SetSize's checks and messages, leaving the new pixels unset.
bool BMP::Resize(int width, int height) {
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
    RGBApixel* grid = new (std::nothrow) RGBApixel[static_cast<size_t>(width) * static_cast<size_t>(height)];
    if (!grid) {
        std::ostringstream m;
        m << "EasyBMP Error: Not enough memory for " << width << " x " << height << " pixels.\n"
          << kErrorIndent << "Size remains unchanged at " << width_ << " x " << height_ << ".\n";
        Say(m);
        return false;
    }
    pixels_.reset(grid);
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
    if (bitDepth_ > 8 || colorTable_.size() != (size_t{1} << bitDepth_)) return SayNoTableNeeded();
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
    BMIH ih;
    const HeaderRead headers = ReadHeaders(file.get(), fh, ih);
    if (headers != HeaderRead::kComplete) {
        std::ostringstream m;
        m << "EasyBMP Error: " << name
          << (headers == HeaderRead::kNotBmp ? " is not a Windows BMP file!\n"
                                             : " is obviously corrupted.\n");
        Say(m);
        if (headers == HeaderRead::kShort) ResetAfterFailedRead();
        return false;
    }
    xPelsPerMeter_ = static_cast<int>(std::min<uint32_t>(ih.biXPelsPerMeter, INT32_MAX));
    yPelsPerMeter_ = static_cast<int>(std::min<uint32_t>(ih.biYPelsPerMeter, INT32_MAX));
    if (!TakeFormat(name, ih)) {
        ResetAfterFailedRead();
        return false;
    }

    // The file is read strictly in sequence: colour table or bit-field masks,
    // meta data, pixels. The data offset only says how much lies between.
    const int64_t afterHeaders = static_cast<int64_t>(fh.bfOffBits) - 54;
    int64_t extra = afterHeaders;
    if (bitDepth_ < 16) {
        ReadColorTable(file.get(), name, afterHeaders / 4);
        extra -= 4 * int64_t{TellNumberOfColors()};
    }
    uint16_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue: 5-5-5
    if (bitDepth_ == 16 && ih.biCompression != 0) {
        for (uint16_t& mask : masks) {
            unsigned char field[4];  // the mask, then two bytes that are skipped
            const size_t got = ReadUpTo(file.get(), field, 4);
            if (got >= 2) mask = GetLe16(field);
        }
        extra -= 12;
    }
    if (extra > 0) {
        std::ostringstream w;
        w << "EasyBMP Warning: Extra meta data detected in file " << name << "\n"
          << kIndent << "Data will be skipped.\n";
        Say(w);
        // Moving forward past the end is harmless: the row reads then come up short.
        std::fseek(file.get(), static_cast<long>(extra), SEEK_CUR);
    }
    ReadPixels(file.get(), masks);
    return true;
}

// The checks of the info header, each refusal with its message; then the
// header's depth and size (the pixels unset until ReadPixels).
bool BMP::TakeFormat(const std::string& name, const BMIH& ih) {
    std::ostringstream m;
    bool taken = false;
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
            taken = Resize(ih.biWidth, ih.biHeight);  // fails only when memory runs out, and says so
        }
    }
    if (!taken) Say(m);
    return taken;
}

// The file's entries (at most as many as the depth has colours), blue, green,
// red, alpha each; the rest of the table white.
void BMP::ReadColorTable(FILE* file, const std::string& name, int64_t entries) {
    const int64_t colours = TellNumberOfColors();
    const int64_t stored = std::clamp<int64_t>(entries, 0, colours);
    if (stored < colours) {
        std::ostringstream w;
        w << "EasyBMP Warning: file " << name << " has an underspecified\n"
          << kIndent << "color table. The table will be padded with extra\n"
          << kIndent << "white (255,255,255,0) entries.\n";
        Say(w);
    }
    unsigned char bytes[4 * 256];
    const size_t got = ReadUpTo(file, bytes, static_cast<size_t>(4 * stored)) / 4;
    for (size_t i = 0; i < colorTable_.size(); ++i) {
        colorTable_[i] =
            i < got ? RGBApixel{bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3]} : kWhite;
    }
}

// Rows the file does not hold stay white.
void BMP::ReadPixels(FILE* file, const uint16_t masks[3]) {
    const int depth = bitDepth_;
    const int width = width_;
    const size_t stride = static_cast<size_t>(kesto::RowStride(width, depth));
    RGBApixel* const pixels = pixels_.get();
    auto line = [&](int y) { return pixels + static_cast<size_t>(y) * width; };
    int firstRead = 0;
    switch (depth) {
        case 16:
            firstRead = ReadRows(
                file, height_, stride, 2 * static_cast<size_t>(width),
                [&](const unsigned char* in, int y) { kesto::Decode16bitRow(in, masks, width, line(y)); });
            break;
        case 24:
            firstRead = ReadRows(file, height_, stride, stride, [&](const unsigned char* in, int y) {
                kesto::Decode24bitRow(in, width, line(y));
            });
            break;
        case 32:
            firstRead = ReadRows(file, height_, stride, stride, [&](const unsigned char* in, int y) {
                std::memcpy(line(y), in, 4 * static_cast<size_t>(width));
            });
            break;
        default: {
            const RGBApixel* table = colorTable_.data();
            firstRead = ReadRows(file, height_, stride, stride, [&](const unsigned char* in, int y) {
                kesto::DecodeIndexedRow(in, depth, table, width, line(y));
            });
        }
    }
    std::fill(pixels, line(firstRead), kWhite);
}

bool BMP::Write1bitRow(unsigned char* buffer, int bufferSize, int row) {
    if (!buffer || bufferSize < 0 || row < 0 || row >= height_) return false;
    if (width_ > 8 * static_cast<int64_t>(bufferSize)) return false;
    const RGBApixel* line = &pixels_[static_cast<size_t>(row) * width_];
    if (colorTable_.size() != 2) {
        PackComplemented(line, width_, buffer, [this](const RGBApixel* pixels, int n, uint8_t* flags) {
            for (int i = 0; i < n; ++i) {
                RGBApixel p = pixels[i];
                flags[i] = FindClosestColor(p) != 0;
            }
        });
        return true;
    }
    // Two entries, with FindClosestColor's choice worked out once: entry 1 is
    // strictly closer than entry 0 exactly when 2 p.(c1 - c0) > |c1|^2 - |c0|^2
    // (ties stay with entry 0). This runs for every pixel of every printed image.
    const RGBApixel c0 = colorTable_[0];
    const RGBApixel c1 = colorTable_[1];
    const int wr = c1.Red - c0.Red;
    const int wg = c1.Green - c0.Green;
    const int wb = c1.Blue - c0.Blue;
    const int limit = (c1.Red * c1.Red + c1.Green * c1.Green + c1.Blue * c1.Blue) -
                      (c0.Red * c0.Red + c0.Green * c0.Green + c0.Blue * c0.Blue);
    if (wr > 0 && wr == wg && wg == wb) {
        // Entry 1 a lighter grey step from entry 0, as black to white: only the
        // channel sum s counts, 2 w s > limit, and limit > 0. 16-bit sums let
        // the compiler take eight pixels at a time.
        const auto above = static_cast<int16_t>(limit / (2 * wr));
        PackComplemented(line, width_, buffer, [above](const RGBApixel* pixels, int n, uint8_t* flags) {
            for (int i = 0; i < n; ++i) {
                const RGBApixel p = pixels[i];
                flags[i] = static_cast<int16_t>(p.Red + p.Green + p.Blue) > above;
            }
        });
        return true;
    }
    PackComplemented(line, width_, buffer, [=](const RGBApixel* pixels, int n, uint8_t* flags) {
        for (int i = 0; i < n; ++i) {
            const RGBApixel p = pixels[i];
            flags[i] = 2 * (p.Red * wr + p.Green * wg + p.Blue * wb) > limit;
        }
    });
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
    // The whole file is made in memory and written at once; the padding after
    // each row's data stays 0.
    const size_t rowBytes = static_cast<size_t>(kesto::RowStride(width_, 1));
    std::vector<unsigned char> bytes;
    try {
        bytes.assign(kesto::kOneBitHeadBytes + rowBytes * static_cast<size_t>(height_), 0);
    } catch (const std::bad_alloc&) {
        std::ostringstream m;
        m << "EasyBMP Error: Not enough memory to write " << name << ".\n";
        Say(m);
        return false;
    }
    kesto::PutOneBitHead(bytes.data(), width_, height_, xPelsPerMeter_, yPelsPerMeter_, colorTable_.data());
    unsigned char* row = bytes.data() + kesto::kOneBitHeadBytes;
    for (int y = height_ - 1; y >= 0; --y, row += rowBytes) Write1bitRow(row, static_cast<int>(rowBytes), y);

    const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
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
    if (depth > 8 || image.colorTable_.size() != (size_t{1} << depth)) return SayNoTableNeeded();
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
    unsigned char fileHeader[kesto::kFileHeaderBytes];
    unsigned char info[kesto::kInfoHeaderBytes];
    if (ReadUpTo(file.get(), fileHeader, sizeof fileHeader) == sizeof fileHeader) {
        kesto::TakeInfoHeader(info, ReadUpTo(file.get(), info, sizeof info), header);
    }
    return header;
}
