#pragma once

#include <pthread.h>

#include <atomic>

#include "kesto/kesto.h"
#include "platform/events.h"

static_assert(sizeof(std::atomic<bool>) == sizeof(bool), "flag layout must match bool");
static_assert(sizeof(std::atomic<pthread_t>) == sizeof(pthread_t), "handle layout must match pthread_t");
