#pragma once

// Test helpers: BMP files built byte by byte in memory, a private temporary
// folder, and a capture of std::cout.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace kesto::test {

using ByteVector = std::vector<uint8_t>;

inline void Le16(ByteVector& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Le32(ByteVector& out, uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}

// What goes into a file; everything after the info header is written as given.
struct BmpLayout {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t xPels = 0;
    uint32_t yPels = 0;
    ByteVector table;             // colour entries (blue, green, red, alpha) or bit-field masks
    ByteVector extra;             // meta data between the table and the pixels
    ByteVector pixels;            // rows as stored, bottom row first
    int64_t offBits = -1;    // -1: 54 + table + extra
    int64_t sizeImage = -1;  // -1: pixels.size()
};

inline ByteVector BmpBytes(const BmpLayout& s) {
    const uint32_t off = s.offBits >= 0 ? static_cast<uint32_t>(s.offBits)
                                        : static_cast<uint32_t>(54 + s.table.size() + s.extra.size());
    ByteVector out;
    out.push_back('B');
    out.push_back('M');
    Le32(out, static_cast<uint32_t>(54 + s.table.size() + s.extra.size() + s.pixels.size()));
    Le16(out, 0);
    Le16(out, 0);
    Le32(out, off);
    Le32(out, 40);
    Le32(out, static_cast<uint32_t>(s.width));
    Le32(out, static_cast<uint32_t>(s.height));
    Le16(out, 1);
    Le16(out, s.bitCount);
    Le32(out, s.compression);
    Le32(out, s.sizeImage >= 0 ? static_cast<uint32_t>(s.sizeImage) : static_cast<uint32_t>(s.pixels.size()));
    Le32(out, s.xPels);
    Le32(out, s.yPels);
    Le32(out, 0);
    Le32(out, 0);
    out.insert(out.end(), s.table.begin(), s.table.end());
    out.insert(out.end(), s.extra.begin(), s.extra.end());
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    return out;
}

// A folder of its own under /tmp, removed with everything in it.
class ImageTempDir {
public:
    ImageTempDir() {
        char pattern[] = "/tmp/kesto-image-test-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "";
    }
    ~ImageTempDir() {
        if (!path_.empty()) (void)::system(("rm -rf '" + path_ + "'").c_str());
    }
    ImageTempDir(const ImageTempDir&) = delete;
    ImageTempDir& operator=(const ImageTempDir&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }

    std::string Write(const std::string& name, const ByteVector& bytes) const {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::string path_;
};

inline ByteVector ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Collects what std::cout receives while it lives.
class CoutCapture {
public:
    CoutCapture() : old_(std::cout.rdbuf(text_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;

    std::string Text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
};

}  // namespace kesto::test
