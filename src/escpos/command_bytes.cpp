#include "escpos/command_bytes.h"

#include <climits>

#include "transport/communication.h"

namespace kesto {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    bytes.reserve(values.size());
    for (int value : values) bytes.push_back(static_cast<char>(LowByte(value)));
    return bytes;
}

int Send(Communication& comm, ByteView bytes) {
    // Write counts in an int; larger blocks are refused by their callers first.
    const int length = bytes.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes.size());
    return comm.Write(bytes.data(), length, 0);
}

}  // namespace kesto
