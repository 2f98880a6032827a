#include "image/bitmap_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "image/bmp_format.h"
#include "image/bmp_image.h"
#include "image/image_files.h"
#include "platform/debug_log.h"

namespace {

using kesto::RowStride;

// Width, height, image size and data offset are signed 32-bit fields.
int32_t SignedLe32(const unsigned char* p) {
    return static_cast<int32_t>(kesto::GetLe32(p));
}

// new[] that reports a failed allocation as null instead of throwing.
unsigned char* NewZeroed(int64_t size) {
    if (size < 0 || static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
    return new (std::nothrow) unsigned char[static_cast<size_t>(size)]();
}

// Bit x of a one-bit row: byte x / 8, most significant bit first.
unsigned char* MonoByte(unsigned char* row, int x) {
    return row + x / 8;
}
unsigned char MonoMask(int x) {
    return static_cast<unsigned char>(0x80u >> (x % 8));
}

}  // namespace

BitmapFileReader::BitmapFileReader(const char* name) {
    if (!name || std::strlen(name) > sizeof(fileName) - 1) {
        DebugPrint("BitmapFileReader::Error Reading File %d\n", name ? ENAMETOOLONG : EINVAL);
        return;
    }
    file = std::fopen(name, "rb");
    if (!file) {
        DebugPrint("BitmapFileReader::Error Reading File %d\n", errno);
        return;
    }
    std::memset(fileName, 0, sizeof(fileName));
    std::memcpy(fileName, name, std::strlen(name));
    ReadBitmapInfo();
}

BitmapFileReader::~BitmapFileReader() {
    if (!file) return;
    DebugPrint("BitmapFileReader::Closing File \n");
    std::fclose(file);
    file = nullptr;
    if (fileName[0] != '\0') ::unlink(fileName);
}

void BitmapFileReader::ReadBitmapInfo() {
    std::memset(fileHeader, 0, sizeof(fileHeader));
    std::memset(infoHeader, 0, sizeof(infoHeader));
    if (file && std::fseek(file, 0, SEEK_SET) == 0) {
        // Short files leave the rest of the headers 0.
        if (std::fread(fileHeader, 1, sizeof(fileHeader), file) == sizeof(fileHeader)) {
            (void)std::fread(infoHeader, 1, sizeof(infoHeader), file);
        }
    }
    width = SignedLe32(infoHeader + 4);
    height = SignedLe32(infoHeader + 8);
    bitsPerPixel = kesto::GetLe16(infoHeader + 14);
    imageSize = SignedLe32(infoHeader + 20);
    DebugPrint("Bitmap Info\n");
    DebugPrint("Bitmap Width %d\n", width);
    DebugPrint("Bitmap Height %d\n", height);
    DebugPrint("Bitmap Size %d\n", imageSize);
    DebugPrint("Bitmap BitCout %d\n", bitsPerPixel);
}

int BitmapFileReader::GetImageSize() {
    return imageSize;
}
int BitmapFileReader::GetHeight() {
    return height;
}
int BitmapFileReader::GetWidth() {
    return width;
}
int BitmapFileReader::GetBitsPerPixel() {
    return bitsPerPixel;
}

// Computed in 64 bits and clamped, so a hostile width cannot overflow them.
int BitmapFileReader::GetBytesPerLineMono() {
    return static_cast<int>(std::clamp<int64_t>(RowStride(width, 1), INT32_MIN, INT32_MAX));
}

int BitmapFileReader::GetBytesPerLine24Bit() {
    return static_cast<int>(std::clamp<int64_t>(RowStride(width, 24), INT32_MIN, INT32_MAX));
}

bool BitmapFileReader::IsBottomUpImage() {
    const int32_t h = SignedLe32(infoHeader + 8);
    if (h < 1) {
        DebugPrint("Negative Value %d :: TopDown Image\n", h);
        return false;
    }
    DebugPrint("Possitive Value %d :: BottomUp Image\n", h);
    return true;
}

unsigned char* BitmapFileReader::LoadBMP() {
    DebugPrint("Bitmap LoadBMP\n");
    if (!file || !kesto::ImageSizeAllowed(width, height)) return nullptr;

    const int64_t rowsBytes = RowStride(width, 24) * height;
    // An image size beyond what the geometry holds even at 32 bits is a lie;
    // anything up to that is covered, so callers may read image-size bytes.
    const int64_t declared = static_cast<uint32_t>(imageSize);
    if (declared > std::max(rowsBytes, int64_t{4} * width * height)) return nullptr;

    const int32_t offset = SignedLe32(fileHeader + 10);
    if (offset < 0 || std::fseek(file, offset, SEEK_SET) != 0) return nullptr;

    const int64_t size = std::max(rowsBytes, declared);
    unsigned char* data = NewZeroed(size);
    if (!data) return nullptr;
    (void)std::fread(data, 1, static_cast<size_t>(rowsBytes), file);
    if (IsBottomUpImage()) FlipImage(data, height, static_cast<int>(RowStride(width, 1)));
    return data;
}

bool BitmapFileReader::FlipImage(unsigned char* data, int rows, int bytesPerRow) {
    DebugPrint("Bitmap FlipImage\n");
    if (rows < 0) return true;  // nothing to flip
    if (!data || bytesPerRow < 0) return false;
    const size_t stride = static_cast<size_t>(bytesPerRow);
    for (int i = 0; i < rows / 2; ++i) {
        std::swap_ranges(data + i * stride, data + (i + 1) * stride, data + (rows - 1 - i) * stride);
    }
    return true;
}

unsigned char* BitmapFileReader::ConverToMono(unsigned char* data, int width, int height, int* outSize) {
    if (outSize) *outSize = 0;
    const int64_t rows = std::abs(static_cast<int64_t>(height));
    if (!data || !kesto::ImageSizeAllowed(width, rows)) return nullptr;

    const int64_t outStride = RowStride(width, 1);
    const int size = static_cast<int>(outStride * rows);
    if (bitsPerPixel == 8 || bitsPerPixel == 1) {
        DebugPrint("No Conversion Needed\n");
        if (outSize) *outSize = size;
        return data;
    }
    unsigned char* out = NewZeroed(size);
    if (!out) return nullptr;
    if (outSize) *outSize = size;

    const int64_t inStride = RowStride(width, 24);
    for (int64_t y = 0; y < height; ++y) {  // a negative height converts nothing
        const unsigned char* in = data + y * inStride;
        unsigned char* line = out + y * outStride;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = in + 3 * static_cast<ptrdiff_t>(x);
            double grey = p[0] * 0.299 + p[1] * 0.587;
            grey = grey + p[2] * 0.114;
            if (static_cast<int>(grey) < 128) *MonoByte(line, x) |= MonoMask(x);
        }
    }
    return out;
}

bool BitmapFileReader::Convert32BMPto24BMP(unsigned char* data, int width, int height, int* outSize) {
    if (!data) return true;  // nothing to convert
    if (!kesto::ImageSizeAllowed(width, height)) return false;
    const int64_t outStride = RowStride(width, 24);
    const int64_t size = outStride * height;
    std::vector<unsigned char> rows;
    try {
        rows.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (outSize) *outSize = static_cast<int>(size);
    for (int64_t y = 0; y < height; ++y) {
        const unsigned char* in = data + y * 4 * width;
        unsigned char* out = rows.data() + y * outStride;
        for (int x = 0; x < width; ++x)
            std::memcpy(out + 3 * static_cast<ptrdiff_t>(x), in + 4 * static_cast<ptrdiff_t>(x), 3);
    }
    // A fixed name in /tmp: whatever sits there (a planted link included) is
    // removed, and the file is created afresh, never through a link.
    ::unlink(kesto::Converted24File());
    const int fd = ::open(kesto::Converted24File(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        size_t done = 0;
        while (done < rows.size()) {
            const ssize_t n = ::write(fd, rows.data() + done, rows.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    return true;
}

bool BitmapFileReader::RotateBy180Color(unsigned char* data, int width, int height) {
    if (!data || !kesto::ImageSizeAllowed(width, height)) return false;
    const int64_t stride = RowStride(width, 24);
    auto pixel = [&](int64_t row, int x) { return data + row * stride + 3 * static_cast<int64_t>(x); };
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        // The middle row of an odd height pairs with itself: mirror only its left half.
        const int count = top == bottom ? width / 2 : width;
        for (int x = 0; x < count; ++x) {
            unsigned char* a = pixel(top, x);
            unsigned char* b = pixel(bottom, width - 1 - x);
            for (int i = 0; i < 3; ++i) swap(a + i, b + i);
        }
    }
    return true;
}

bool BitmapFileReader::RotateBy180Mono(unsigned char* data, int width, int height) {
    if (!data || !kesto::ImageSizeAllowed(width, height)) return false;
    const int64_t stride = RowStride(width, 1);
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        unsigned char* forward = data + top * stride;
        unsigned char* backward = data + bottom * stride;
        const int count = top == bottom ? width / 2 : width;
        for (int x = 0; x < count; ++x) {
            const int mirrored = width - 1 - x;
            swapmono(MonoByte(forward, x), MonoByte(backward, mirrored), MonoMask(x), MonoMask(mirrored));
        }
    }
    return true;
}

void BitmapFileReader::swap(unsigned char* a, unsigned char* b) {
    if (!a || !b) return;
    const unsigned char kept = *a;
    *a = *b;
    *b = kept;
}

void BitmapFileReader::swapmono(unsigned char* a, unsigned char* b, unsigned char maskA,
                                unsigned char maskB) {
    if (!a || !b) return;
    const unsigned char oldB = *b;
    if (*a & maskA) {
        *b = static_cast<unsigned char>(*b | maskB);
    } else {
        *b = static_cast<unsigned char>(*b & ~maskB);
    }
    if (oldB & maskB) {
        *a = static_cast<unsigned char>(*a | maskA);
    } else {
        *a = static_cast<unsigned char>(*a & ~maskA);
    }
}
