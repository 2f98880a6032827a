#pragma once

#include <chrono>
#include <string>

class Communication;

namespace kesto {

// What KESTO_PrintImage does once the script has left its BMP at SavedFile():
// reduce it to one bit per pixel in MonoFile(), read that back and send it as
// one raster image. The last write's result; -1 when a file cannot be read or written.
int PrintConvertedImage(Communication& comm);

// The raster bit image header GS v 0 for rows of rowBytes bytes and height rows.
std::string RasterHeader(int rowBytes, int height);

// The one-bit file marks the pixels past the width in a row's last data byte
// as dots (its rows are complemented); they are cleared before printing, or
// every image whose width is not a multiple of 8 would print a stripe beside it.
void ClearBitsPastWidth(unsigned char* rows, int width, int height, int rowBytes);

// The conversion script: KESTO_CONVERT_SCRIPT when set, else the installed path.
std::string ConversionScriptPath();

// Test seam, not exported: how long the conversion script may run before it is
// stopped (the default is kept by production code).
void SetConversionTimeoutForTesting(std::chrono::milliseconds timeout);

}  // namespace kesto
