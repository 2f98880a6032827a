#pragma once

// The fixed files of the image road: the conversion script writes SavedFile,
// the library writes and reads back MonoFile, BitmapFileReader's 32-bit
// conversion writes Converted24File. Fixed names make image printing one at a
// time per machine; tests point them elsewhere.

namespace kesto {

const char* SavedFile();        // "/tmp/saved1.bmp"
const char* MonoFile();         // "/tmp/kesto1bpp.bmp"
const char* Converted24File();  // "/tmp/test.bmp"

// Test seam, not exported: the three files in `directory` (same names)
// instead of /tmp, which another run on the same machine may use. nullptr
// restores the fixed paths. Call before any thread prints an image.
void SetImageFileDirectoryForTesting(const char* directory);

}  // namespace kesto
