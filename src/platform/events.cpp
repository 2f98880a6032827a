#include "platform/events.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "kesto/kesto.h"
#include "platform/debug_log.h"

namespace {

sem_t* SemaphoreOf(Event* event) {
    return event->handle != nullptr ? event->handle : &event->sem;
}

struct timespec WallClockNow() {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

}  // namespace

namespace kesto {

int SemaphoreTimedWait(sem_t* semaphore, const struct timespec* deadline) {
#if defined(__APPLE__)
    return TimerThreadSemTimedWait(semaphore, deadline);
#else
    // The native wait checks the deadline before the count; a posted semaphore
    // must be taken whatever the deadline says.
    if (::sem_trywait(semaphore) == 0) return 0;
    return ::sem_timedwait(semaphore, deadline);
#endif
}

}  // namespace kesto

extern "C" {

KESTO_API int InitEvent(Event* event) {
    DebugPrint("Init Event\n");
    if (event == nullptr) return 1;
    event->handle = nullptr;
    event->ownsHandle = false;
    event->namedHandle = false;

    if (::sem_init(&event->sem, 0, 0) == 0) {
        event->handle = &event->sem;
        DebugPrint("InitEvent End.. Error is  ~~~~~~~~~~~%d\n", errno);
        return 1;
    }

    sem_t* fresh = new (std::nothrow) sem_t;
    if (fresh != nullptr && ::sem_init(fresh, 0, 0) == 0) {
        DebugPrint("Assigning new sem handle\n");
        event->handle = fresh;
        event->ownsHandle = true;
        return 1;
    }
    int initErrno = errno;
    delete fresh;

    DebugPrint("sem_init error\n");
    errno = initErrno;
    std::perror("SemInit failed");
#if defined(__APPLE__)
    // Unnamed semaphores are missing here: fall back to a named one.
    if (initErrno == ENOSYS) {
        DebugPrint("Creating sem_open\n");
        char name[64];
        std::snprintf(name, sizeof name, "/tmp/test_%ld.sem", static_cast<long>(::getpid()));
        sem_t* named = ::sem_open(name, O_CREAT | O_EXCL, 0600, 0);
        if (named == SEM_FAILED) {
            std::perror("creating semaphore");
        } else {
            ::sem_unlink(name);  // the name is only needed to create it
            event->handle = named;
            event->namedHandle = true;
        }
        DebugPrint("Assing the new sem handle for mac\n");
    }
#endif
    return 1;
}

KESTO_API void TriggerEvent(Event* event) {
    if (event == nullptr) return;
    ::sem_post(SemaphoreOf(event));
}

KESTO_API int WaitForEvent(Event* event, int timeout) {
    if (event == nullptr) {
        DebugPrint("Retuning 1\n");
        return 1;
    }
    DebugPrint("Valid Handle\n");
    sem_t* semaphore = SemaphoreOf(event);
    if (timeout == -1) {
        while (::sem_wait(semaphore) != 0) {
            if (errno != EINTR) return -1;
        }
        return 0;
    }
    // 0 polls; any other value waits that many milliseconds.
    struct timespec deadline = WallClockNow();
    if (timeout > 0) {
        deadline.tv_sec += timeout / 1000;
        deadline.tv_nsec += static_cast<long>(timeout % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    return kesto::SemaphoreTimedWait(semaphore, &deadline);
}

KESTO_API int DestroyEvent(Event* event) {
    if (event == nullptr) return -1;
    sem_t* semaphore = SemaphoreOf(event);
    int result;
    if (event->namedHandle) {
        result = ::sem_close(semaphore);
    } else {
        result = ::sem_destroy(semaphore);
        if (event->ownsHandle) delete semaphore;
    }
    event->handle = nullptr;
    event->ownsHandle = false;
    event->namedHandle = false;
    return result == 0 ? 0 : -1;
}

KESTO_API long WaitForSem4(void* semaphore, unsigned long /*timeout*/, int waitSwitch) {
    if (waitSwitch == 0) return 0;
    struct timespec now = WallClockNow();
    return kesto::SemaphoreTimedWait(static_cast<sem_t*>(semaphore), &now);
}

}  // extern "C"
