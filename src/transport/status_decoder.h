#pragma once

#include <atomic>

namespace kesto {

// Decodes the last complete 4-byte automatic status block among the first
// `count` bytes of buffer (copying it to the front) into a status code
// (KESTO_STATUS_*), given the transport's last status code.
// `previousPinState` is the transport's drawer-pin state: 0 before its first
// valid block, then 3 or 6. Fewer than four bytes
// hold no block: 0, and nothing outside them is read.
int DecodeStatusBlock(char* buffer, int count, int lastStatusCode, std::atomic<int>& previousPinState);

}  // namespace kesto
