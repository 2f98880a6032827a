// A process that never redirects its image files uses the fixed ones in /tmp,
// where the installed conversion script leaves its picture. Exit 0 when so.
#include <cstring>

#include "image/image_files.h"

int main() {
    const bool fixed = std::strcmp(kesto::SavedFile(), "/tmp/saved1.bmp") == 0 &&
                       std::strcmp(kesto::MonoFile(), "/tmp/kesto1bpp.bmp") == 0 &&
                       std::strcmp(kesto::Converted24File(), "/tmp/test.bmp") == 0;
    return fixed ? 0 : 1;
}
