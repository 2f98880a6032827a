#pragma once

// Fuzz helper: takes the input apart into small choices and byte strings.

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Remaining() const { return size_ - pos_; }

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // A string of up to `max` bytes, its length taken from the input.
    std::string Bytes(size_t max) {
        size_t length = Byte();
        if (length > max) length = max;
        if (length > Remaining()) length = Remaining();
        std::string text(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return text;
    }

    std::string Rest() {
        std::string text(reinterpret_cast<const char*>(data_ + pos_), Remaining());
        pos_ = size_;
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
