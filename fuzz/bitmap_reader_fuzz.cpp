// BitmapFileReader on any bytes: headers, load, and the raster operations on
// the loaded buffer with the file's own geometry.
#include <cstdint>
#include <memory>

#include "fuzz_file.h"
#include "image/bitmap_file_reader.h"
#include "platform/debug_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader logs every step; keep the shared debug log out of it.
    static const bool quiet = (kesto::SetDebugLogPathForTesting("/dev/null"), true);
    (void)quiet;
    FuzzFile in("reader", data, size);
    BitmapFileReader reader(in.path());  // deletes the file when done
    reader.GetBytesPerLineMono();
    reader.GetBytesPerLine24Bit();
    reader.IsBottomUpImage();
    std::unique_ptr<unsigned char[]> rows(reader.LoadBMP());
    if (!rows) return 0;
    const int width = reader.GetWidth();
    const int height = reader.GetHeight();
    volatile unsigned char sink = rows[reader.GetImageSize() > 0 ? reader.GetImageSize() - 1 : 0];
    (void)sink;
    // The buffer holds height rows of the 24-bit stride, which also covers the
    // one-bit rows.
    int monoSize = 0;
    unsigned char* mono = reader.ConverToMono(rows.get(), width, height, &monoSize);
    if (mono && mono != rows.get()) {
        reader.RotateBy180Mono(mono, width, height);
        delete[] mono;
    }
    reader.RotateBy180Color(rows.get(), width, height);
    reader.RotateBy180Mono(rows.get(), width, height);
    reader.FlipImage(rows.get(), height, reader.GetBytesPerLine24Bit());
    return 0;
}
