#include "platform/mutex_thread.h"

#include <pthread.h>
#include <sys/times.h>

#include <cerrno>

#include "kesto/kesto.h"

extern "C" {

KESTO_API int InitMutex(pthread_mutex_t* mutex) {
    if (mutex == nullptr) return EINVAL;
    return ::pthread_mutex_init(mutex, nullptr);
}

KESTO_API int LockMutex(pthread_mutex_t* mutex) {
    if (mutex == nullptr) return 0;
    return ::pthread_mutex_lock(mutex);
}

KESTO_API void UnLockMutex(pthread_mutex_t* mutex) {
    if (mutex == nullptr) return;
    ::pthread_mutex_unlock(mutex);
}

KESTO_API void DestroyMutex(pthread_mutex_t* mutex) {
    if (mutex == nullptr) return;
    ::pthread_mutex_destroy(mutex);
}

KESTO_API pthread_t CreateGenericThread(void* (*entry)(void*), pthread_t* /*id*/, void* arg) {
    pthread_t thread;
    if (entry == nullptr || ::pthread_create(&thread, nullptr, entry, arg) != 0) return 0;
    return thread;
}

KESTO_API long GetTickCount(void) {
    struct tms unused;
    return static_cast<long>(::times(&unused));
}

}  // extern "C"

Lock::Lock(pthread_mutex_t* m) : mutex(m) {
    LockMutex(mutex);
}

Lock::~Lock() {
    UnLockMutex(mutex);
}
