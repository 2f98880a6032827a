#pragma once

#include <pthread.h>

#include "platform/export.h"

// Mutexes, the scoped guard and thread start, as hosts see them too.
extern "C" {
KESTO_API int InitMutex(pthread_mutex_t* mutex);
KESTO_API int LockMutex(pthread_mutex_t* mutex);
KESTO_API void UnLockMutex(pthread_mutex_t* mutex);
KESTO_API void DestroyMutex(pthread_mutex_t* mutex);
KESTO_API pthread_t CreateGenericThread(void* (*entry)(void*), pthread_t* id, void* arg);
KESTO_API long GetTickCount(void);
}

// Scoped guard: locks the mutex for the life of the object. A null mutex
// gives a guard that does nothing.
class KESTO_API Lock {
public:
    explicit Lock(pthread_mutex_t* mutex);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    pthread_mutex_t* mutex;
};
