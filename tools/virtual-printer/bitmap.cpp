#include "bitmap.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace kesto::vprinter {

void Bitmap::Resize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    px_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

void Bitmap::EnsureHeight(int height) {
    if (height <= height_) return;
    height_ = height;
    px_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

void Bitmap::FillRect(int x, int y, int w, int h, bool on) {
    int x0 = std::max(0, x), y0 = std::max(0, y);
    int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) px_[Index(xx, yy)] = on ? 1 : 0;
}

void Bitmap::Blit(const Bitmap& src, int x, int y) {
    for (int sy = 0; sy < src.height_; ++sy)
        for (int sx = 0; sx < src.width_; ++sx)
            if (src.px_[src.Index(sx, sy)]) Set(x + sx, y + sy);
}

bool Bitmap::AnyInk() const {
    return std::any_of(px_.begin(), px_.end(), [](uint8_t v) { return v != 0; });
}

Bitmap Bitmap::Rotated90Clockwise() const {
    Bitmap out(height_, width_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (px_[Index(x, y)]) out.Set(height_ - 1 - y, x);
    return out;
}

Bitmap Bitmap::Rotated180() const {
    Bitmap out(width_, height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (px_[Index(x, y)]) out.Set(width_ - 1 - x, height_ - 1 - y);
    return out;
}

Bitmap Bitmap::Rotated90CounterClockwise() const {
    Bitmap out(height_, width_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (px_[Index(x, y)]) out.Set(y, width_ - 1 - x);
    return out;
}

Bitmap Bitmap::Scaled(int sx, int sy) const {
    sx = std::max(1, sx);
    sy = std::max(1, sy);
    Bitmap out(width_ * sx, height_ * sy);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (px_[Index(x, y)]) out.FillRect(x * sx, y * sy, sx, sy);
    return out;
}

bool WritePng(const std::string& path, const Bitmap& bitmap, bool cut, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    constexpr int kCutMargin = 12;
    const int width = std::max(1, bitmap.width());
    const int paper = bitmap.height();
    const int height = std::max(1, paper + (cut ? kCutMargin : 0));

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return fail("cannot create " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return fail("libpng failed");
    png_infop info = png_create_info_struct(png);
    struct Guard {
        png_structp* p;
        png_infop* i;
        ~Guard() { png_destroy_write_struct(p, i); }
    } guard{&png, &info};
    if (!info) return fail("libpng failed");

    std::vector<png_byte> row(static_cast<size_t>(width));
    if (setjmp(png_jmpbuf(png))) return fail("writing " + path + " failed");
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            png_byte v = 255;
            if (y < paper) {
                v = bitmap.Get(x, y) ? 0 : 255;
            } else if (y == paper + kCutMargin / 2) {
                v = (x / 8) % 2 == 0 ? 96 : 255;  // dashed cut line
            } else {
                v = 235;  // space past the cut, a little darker than paper
            }
            row[static_cast<size_t>(x)] = v;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace kesto::vprinter
