#pragma once

// The process-wide state shared by the print calls, the status thread and the
// transports' status polls. Hosts see the same names (exported, plain values
// of the same size and layout); here they are atomics, since host threads and
// the status thread use them at once.

#include <pthread.h>

#include <atomic>

#include "platform/events.h"
#include "platform/export.h"

extern "C" {
// True while a print call writes; the status thread does not poll meanwhile.
extern KESTO_API std::atomic<bool> g_bPrintInProgress;
// Stop request for the status thread.
extern KESTO_API std::atomic<bool> g_bExitFlag;
// The status thread, 0 when there is none.
extern KESTO_API std::atomic<pthread_t> _threadHandle;
// Posted to stop the status thread; every status poll looks at it.
extern KESTO_API Event _terminateReader;
}

static_assert(sizeof(std::atomic<bool>) == sizeof(bool), "flag layout must match bool");
static_assert(sizeof(std::atomic<pthread_t>) == sizeof(pthread_t), "handle layout must match pthread_t");

namespace kesto {

// Raises g_bPrintInProgress for its lifetime, so the status thread stands back
// during a job's writes and the flag falls again on every way out.
class PrintInProgressScope {
public:
    PrintInProgressScope() { g_bPrintInProgress.store(true); }
    ~PrintInProgressScope() { g_bPrintInProgress.store(false); }
    PrintInProgressScope(const PrintInProgressScope&) = delete;
    PrintInProgressScope& operator=(const PrintInProgressScope&) = delete;
};

}  // namespace kesto
