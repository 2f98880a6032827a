#pragma once

#include <pthread.h>

#include "kesto/kesto.h"

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
