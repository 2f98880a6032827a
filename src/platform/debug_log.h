#pragma once

#include "kesto/kesto.h"

namespace kesto {

// The log file in use: "/tmp/kestoDebugLog.log" unless a test redirected it.
const char* DebugLogPath();

// Test seam, not exported: points the log at another file so that test
// processes running side by side do not share one log. nullptr restores the
// fixed path. Call before any thread logs.
void SetDebugLogPathForTesting(const char* path);

}  // namespace kesto
