#pragma once

// The byte builder of KESTO_PrintText's block (pure, for tests).

#include <cstddef>
#include <string>

namespace kesto {

// Bytes in front of the text of a KESTO_PrintText block:
// ESC @, ESC ! 0 and three zero bytes.
constexpr size_t kTextHeaderLength = 8;

// The header followed by length bytes of text, copied the way strncpy copies:
// at most length bytes, stopping at the first zero byte of text, zeros in the rest.
std::string TextBlock(const char* text, size_t length);

}  // namespace kesto
