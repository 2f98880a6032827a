// One-bit picture of printed paper: 1 is a dot, 0 is blank paper.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kesto::vprinter {

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height) { Resize(width, height); }

    int width() const { return width_; }
    int height() const { return height_; }
    void Resize(int width, int height);
    // Grows downwards (rows are added blank); never shrinks.
    void EnsureHeight(int height);

    bool Get(int x, int y) const {
        return x >= 0 && y >= 0 && x < width_ && y < height_ && px_[Index(x, y)] != 0;
    }
    // Writes outside the picture are clipped.
    void Set(int x, int y, bool on = true) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) px_[Index(x, y)] = on ? 1 : 0;
    }
    void FillRect(int x, int y, int w, int h, bool on = true);
    // Copies the dots of `src` (ink only, blank stays transparent) to (x, y).
    void Blit(const Bitmap& src, int x, int y);
    bool AnyInk() const;
    bool operator==(const Bitmap& o) const {
        return width_ == o.width_ && height_ == o.height_ && px_ == o.px_;
    }

    Bitmap Rotated90Clockwise() const;
    Bitmap Rotated180() const;
    Bitmap Rotated90CounterClockwise() const;
    Bitmap Scaled(int sx, int sy) const;

private:
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(width_) + x; }
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> px_;
};

// Writes `bitmap` as an 8-bit grey PNG (dots black, paper white). When `cut`
// is set a dashed line is drawn below the paper to show where it was cut.
bool WritePng(const std::string& path, const Bitmap& bitmap, bool cut, std::string* error);

}  // namespace kesto::vprinter
