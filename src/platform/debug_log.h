#pragma once

#include "platform/export.h"

// The debug log: every entry is appended to one file by an open, a write and a
// close, so that entries from several threads and processes never interleave
// within a line and the file can be removed at any time.
extern "C" {
KESTO_API void GetDateTime(char* buffer);
KESTO_API void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
KESTO_API void OutputDebugString(const char* text);
KESTO_API void printBits(unsigned long size, const void* data);
}

namespace kesto {

// The log file in use: "/tmp/kestoDebugLog.log" unless a test redirected it.
const char* DebugLogPath();

// Test seam, not exported: points the log at another file so that test
// processes running side by side do not share one log. nullptr restores the
// fixed path. Call before any thread logs.
void SetDebugLogPathForTesting(const char* path);

}  // namespace kesto
