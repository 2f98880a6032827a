#pragma once

// Byte builders of the text, cut and drawer commands (pure, for tests) and the
// scope that marks a print job for the status thread.

#include <cstddef>

namespace kesto::escpos {

// Bytes in front of the text of a KESTO_PrintText block:
// ESC @, ESC ! 0 and three zero bytes.
constexpr size_t kTextHeaderLength = 8;
// The block buffer that serves every text up to 1016 bytes without allocating.
constexpr size_t kTextBlockBuffer = 1024;

// Fills block (which holds kTextHeaderLength + length bytes) with the header
// and the text copied the way strncpy copies: at most length bytes, stopping
// at the first zero byte of text, zeros in the rest. length must be >= 0.
// Returns the block's length.
size_t BuildTextBlock(const char* text, size_t length, char* block);

// ESC p m t1 t2 into out (5 bytes); m is 0x30 for pin 2, 0x31 for pin 5.
void BuildDrawerPulse(unsigned char pin, int onTime, int offTime, char* out);

// Raises g_bPrintInProgress for its lifetime, so the status thread stands back
// during a job's writes and the flag falls again even on an early return.
class PrintInProgressScope {
public:
    PrintInProgressScope();
    ~PrintInProgressScope();
    PrintInProgressScope(const PrintInProgressScope&) = delete;
    PrintInProgressScope& operator=(const PrintInProgressScope&) = delete;
};

}  // namespace kesto::escpos
