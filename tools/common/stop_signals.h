#pragma once

// SIGINT and SIGTERM for programs that run until they are told to stop.
//
// The signals stay blocked (threads started later inherit the mask) and the
// program's own loop takes them off the queue. A handler could run on a
// library's thread that sleeps for long (libusb's event thread, a status
// thread in a blocking read), and a runtime that defers handlers to the
// thread's next call (ThreadSanitizer does) would then never stop us.

#include <pthread.h>
#include <csignal>

namespace kesto::tools {

inline sigset_t StopSignalSet() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    return stopSignals;
}

// In the main thread before any other thread starts.
inline void BlockStopSignals() {
    const sigset_t stopSignals = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
}

// Takes a pending SIGINT or SIGTERM off the queue; true when there was one.
inline bool TakeStopSignal() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) return false;
    if (sigismember(&pending, SIGINT) != 1 && sigismember(&pending, SIGTERM) != 1) return false;
    const sigset_t stopSignals = StopSignalSet();
    int taken = 0;
    sigwait(&stopSignals, &taken);  // returns at once: one is pending
    return true;
}

}  // namespace kesto::tools
