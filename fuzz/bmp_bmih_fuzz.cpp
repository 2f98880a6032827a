// GetBMIH on any bytes.
#include <cstdint>

#include "fuzz_file.h"
#include "image/bmp_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (SetEasyBMPwarningsOff(), true);
    (void)quiet;
    FuzzFile in("bmih", data, size);
    volatile BMIH header = GetBMIH(in.path());
    (void)header;
    return 0;
}
