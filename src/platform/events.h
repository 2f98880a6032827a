#pragma once

#include <semaphore.h>

#include <ctime>

#include "platform/export.h"

// A counting semaphore that one thread posts and another waits on.
// `handle` is the semaphore in use: normally `sem` itself; after a failed
// sem_init it is a semaphore the event created and owns instead.
struct Event {
    sem_t sem;
    sem_t* handle;
    bool ownsHandle;   // handle was allocated by InitEvent
    bool namedHandle;  // handle came from sem_open
};

// Events as hosts see them too (the library's own are static objects).
extern "C" {
KESTO_API int InitEvent(Event* event);
KESTO_API void TriggerEvent(Event* event);
KESTO_API int WaitForEvent(Event* event, int timeout);
KESTO_API int DestroyEvent(Event* event);
}

namespace kesto {

// Takes the semaphore before the deadline, or fails: 0, or -1 with errno
// EINVAL (bad nanoseconds), ETIMEDOUT or EINTR. A posted semaphore is taken
// whatever the deadline says. Uses the platform's timed wait where there is one.
int SemaphoreTimedWait(sem_t* semaphore, const struct timespec* deadline);

// The same contract, built from sem_wait and a short-lived timer thread that
// interrupts it with SIGUSR2 at the deadline; used where the platform has no
// timed semaphore wait.
int TimerThreadSemTimedWait(sem_t* semaphore, const struct timespec* deadline);

}  // namespace kesto
