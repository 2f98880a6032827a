#pragma once

#include <chrono>
#include <string>

namespace kesto {

// The raster bit image header GS v 0 for rows of rowBytes bytes and height rows.
std::string RasterHeader(int rowBytes, int height);

// Bytes per row of a one-bit BMP of this width: whole bytes, padded to a multiple of 4.
int MonoRowBytes(int width);

// The one-bit file marks the pixels past the width in a row's last data byte
// as dots (its rows are complemented); they are cleared before printing, or
// every image whose width is not a multiple of 8 would print a stripe beside it.
void ClearBitsPastWidth(unsigned char* rows, int width, int height, int rowBytes);

// The conversion script: KESTO_CONVERT_SCRIPT when set, else the installed path.
std::string ConversionScriptPath();

// Test seam, not exported: how long the conversion script may run before it is
// stopped (the default is kept by production code).
void SetConversionTimeoutForTesting(std::chrono::milliseconds timeout);

// Test seam, not exported: the file the conversion script writes and the
// one-bit file, instead of the fixed /tmp/saved1.bmp and /tmp/kesto1bpp.bmp
// that another run on the same machine may use. nullptr restores them.
void SetImageFilesForTesting(const char* savedFile, const char* monoFile);

}  // namespace kesto
