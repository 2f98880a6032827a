#pragma once

// Small reader of uncompressed BMP files, exported for hosts that prepare
// rasters themselves. The image printer uses it to load the rows of the
// one-bit file it has just written, top row first.
//
// The reader owns its file: the destructor closes it and deletes it from disk.
//
// Headers are not trusted. LoadBMP refuses sizes that cannot be real (see
// kesto::ImageSizeAllowed) and never reads past the file's data or its buffer;
// a reader whose file could not be opened loads nothing.

#include <cstdio>

#include "platform/export.h"

class KESTO_API BitmapFileReader {
public:
    // Opens fileName ("rb") and reads its headers. A null name or one longer
    // than 255 characters is refused like a file that cannot be opened: the
    // error is logged and the reader has no file (every size reads 0).
    explicit BitmapFileReader(const char* fileName);
    // Closes the file and deletes it.
    ~BitmapFileReader();

    BitmapFileReader(const BitmapFileReader&) = delete;
    BitmapFileReader& operator=(const BitmapFileReader&) = delete;

    // Reads both headers from the start of the file (missing bytes read as 0)
    // and logs the sizes.
    void ReadBitmapInfo();

    int GetImageSize();
    int GetHeight();
    int GetWidth();
    int GetBitsPerPixel();
    // Bytes of a one-bit row and of a 24-bit row, each rounded up to 4 bytes.
    int GetBytesPerLineMono();
    int GetBytesPerLine24Bit();

    // False (top-down) for a height below 1.
    bool IsBottomUpImage();

    // The pixel data, rows top first in one-bit strides, in a new[] buffer the
    // caller owns. The buffer holds max(24-bit row x height, image size) bytes;
    // what the file does not supply is 0. Null when there is no file, the
    // width or height is below 1 (a top-down file is refused), the sizes are
    // beyond the image limits, the data offset is negative, or memory runs out.
    unsigned char* LoadBMP();

    // Reverses the order of rows of bytesPerRow bytes in place. A negative
    // count is nothing to flip: true. False, and nothing done, for a null
    // buffer or a negative row length.
    bool FlipImage(unsigned char* data, int rows, int bytesPerRow);

    // 24-bit rows (bytes weighted 0.299, 0.587, 0.114 by position) to one-bit
    // rows: a 1 bit where the weighted sum is below 128. Returns a new[] buffer
    // of one-bit stride x |height| bytes and its size in *outSize; for a reader
    // of 1 or 8 bits returns data itself. Null (and *outSize 0) for null data, a
    // width below 1, a height of 0 or sizes beyond the image limits.
    unsigned char* ConverToMono(unsigned char* data, int width, int height, int* outSize);

    // 32-bit rows to 24-bit rows, written without headers to "/tmp/test.bmp"
    // (a link planted there is removed, never followed). True when converted,
    // and for null data, which is nothing to convert (no file is touched);
    // false for sizes beyond the image limits or no memory.
    bool Convert32BMPto24BMP(unsigned char* data, int width, int height, int* outSize);

    // Rotates 24-bit (or one-bit) rows by 180 degrees in place; the middle row
    // of an odd height is mirrored. Padding is never touched. False, and
    // nothing done, for null data or sizes beyond the image limits.
    bool RotateBy180Color(unsigned char* data, int width, int height);
    bool RotateBy180Mono(unsigned char* data, int width, int height);

    // Exchanges two bytes.
    void swap(unsigned char* a, unsigned char* b);
    // Exchanges bit maskA of *a with bit maskB of *b; a and b may be one byte.
    void swapmono(unsigned char* a, unsigned char* b, unsigned char maskA, unsigned char maskB);

private:
    unsigned char fileHeader[14] = {};
    unsigned char infoHeader[40] = {};
    FILE* file = nullptr;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int imageSize = 0;
    char fileName[256] = {};
};
