#pragma once

// The one way command bytes travel: a table entry (CommandSequence), a built
// command (std::string) or a caller's data, each viewed as a ByteView and
// written by Send in one Write.

#include <initializer_list>
#include <string>
#include <string_view>

class Communication;

namespace kesto {

using ByteView = std::string_view;

// The low and the high byte of a 16-bit parameter; negative values wrap.
constexpr int LowByte(int value) {
    return static_cast<int>(static_cast<unsigned int>(value) & 0xFFu);
}
constexpr int HighByte(int value) {
    return static_cast<int>((static_cast<unsigned int>(value) >> 8) & 0xFFu);
}

// A built command: the low byte of each value, in order.
std::string Bytes(std::initializer_list<int> values);

// Writes the bytes in one Write (time-out argument 0) and returns the
// transport's result.
int Send(Communication& comm, ByteView bytes);

}  // namespace kesto
