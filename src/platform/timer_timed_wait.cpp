// A timed semaphore wait for platforms whose semaphores have none: the caller
// blocks in sem_wait, and a short-lived timer thread interrupts that wait with
// SIGUSR2 when the deadline passes.
#include <pthread.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "kesto/kesto.h"
#include "platform/events.h"

namespace {

struct TimerRecord {
    int64_t seconds;
    int64_t nanoseconds;
    pthread_t waiter;
    std::atomic<int16_t>* timedOut;
};

struct CleanupRecord {
    pthread_t* timerThread;  // 0 until the thread exists
    std::atomic<int16_t>* timedOut;
};

void RunCleanup(void* record) {
    timeoutThreadCleanup(record);
}

}  // namespace

extern "C" {

KESTO_API void ignoreSignal(int /*sig*/) {}

KESTO_API int triggerSignal(int sig, pthread_t thread) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the signal must interrupt sem_wait
    if (::sigaction(sig, &action, nullptr) != 0) return -1;
    return ::pthread_kill(thread, sig);
}

KESTO_API void* timeoutThreadMain(void* arg) {
    TimerRecord record = *static_cast<TimerRecord*>(arg);
    intptr_t failure = 0;

    struct timespec remaining;
    remaining.tv_sec = static_cast<time_t>(record.seconds);
    remaining.tv_nsec = static_cast<long>(record.nanoseconds);
    while (::nanosleep(&remaining, &remaining) != 0) {
        if (errno != EINTR) {
            failure = errno;
            break;
        }
    }

    if (::pthread_kill(record.waiter, 0) == 0) {
        record.timedOut->store(1, std::memory_order_release);
        int rc = triggerSignal(SIGUSR2, record.waiter);
        if (rc != 0) failure = rc == -1 ? errno : rc;
    }
    // The thread's result carries the errno, as pthread_join hands it back.
    return reinterpret_cast<void*>(failure);  // NOLINT(performance-no-int-to-ptr)
}

KESTO_API void timeoutThreadCleanup(void* arg) {
    CleanupRecord* record = static_cast<CleanupRecord*>(arg);
    if (record == nullptr || record->timerThread == nullptr || *record->timerThread == 0) return;
    if (record->timedOut->load(std::memory_order_acquire) == 0) {
        ::pthread_cancel(*record->timerThread);
    }
    ::pthread_join(*record->timerThread, nullptr);
    *record->timerThread = 0;
}

}  // extern "C"

namespace kesto {

int TimerThreadSemTimedWait(sem_t* semaphore, const struct timespec* deadline) {
    if (::sem_trywait(semaphore) == 0) return 0;

    if (deadline == nullptr || deadline->tv_nsec < 0 || deadline->tv_nsec > 999999999L) {
        errno = EINVAL;
        return -1;
    }

    struct timeval now;
    ::gettimeofday(&now, nullptr);
    int64_t seconds = static_cast<int64_t>(deadline->tv_sec) - now.tv_sec;
    int64_t nanoseconds = static_cast<int64_t>(deadline->tv_nsec) - static_cast<int64_t>(now.tv_usec) * 1000;
    while (nanoseconds < 0) {
        nanoseconds += 1000000000LL;
        seconds -= 1;
    }
    if (seconds < 0) {
        errno = ETIMEDOUT;
        return -1;
    }

    std::atomic<int16_t> timedOut{0};
    pthread_t timerThread = 0;
    TimerRecord timer{seconds, nanoseconds, ::pthread_self(), &timedOut};
    CleanupRecord cleanup{&timerThread, &timedOut};
    int result = -1;
    int savedErrno = 0;

    int oldState = 0;
    ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    pthread_cleanup_push(RunCleanup, &cleanup);
    int created = ::pthread_create(&timerThread, nullptr, timeoutThreadMain, &timer);
    if (created != 0) timerThread = 0;
    ::pthread_setcancelstate(oldState, nullptr);

    if (created != 0) {
        savedErrno = created;
    } else if (::sem_wait(semaphore) == 0) {
        result = 0;
    } else {
        savedErrno = errno;
        if (savedErrno == EINTR && timedOut.load(std::memory_order_acquire) != 0) savedErrno = ETIMEDOUT;
    }
    pthread_cleanup_pop(1);

    if (result != 0) errno = savedErrno;
    return result;
}

}  // namespace kesto

#if defined(__APPLE__)
// The platform's semaphores lack a timed wait: provide the POSIX one.
extern "C" KESTO_API int sem_timedwait(sem_t* semaphore, const struct timespec* deadline) {
    return kesto::TimerThreadSemTimedWait(semaphore, deadline);
}
#endif
