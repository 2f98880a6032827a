#include "platform/process_state.h"

#include "kesto/kesto.h"

extern "C" {
KESTO_API std::atomic<bool> g_bPrintInProgress{false};
KESTO_API std::atomic<bool> g_bExitFlag{false};
KESTO_API std::atomic<pthread_t> _threadHandle{0};
KESTO_API Event _terminateReader;
}
