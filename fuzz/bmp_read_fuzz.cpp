// BMP::ReadFromFile on any bytes; a successful read is written back at one bit.
#include <cstdint>

#include "fuzz_file.h"
#include "image/bmp_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (SetEasyBMPwarningsOff(), true);
    (void)quiet;
    FuzzFile in("read-in", data, size);
    BMP image;
    if (image.ReadFromFile(in.path())) {
        const std::string out = std::string(in.path()) + ".out";
        image.SetBitDepth(1);
        image.WriteToFile(out.c_str());
        ::unlink(out.c_str());
    }
    return 0;
}
