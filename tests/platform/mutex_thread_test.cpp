#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/mutex_thread.h"

namespace {

int TryLockFromOtherThread(pthread_mutex_t* mutex) {
    int result = -1;
    std::thread([&] {
        result = ::pthread_mutex_trylock(mutex);
        if (result == 0) ::pthread_mutex_unlock(mutex);
    }).join();
    return result;
}

TEST(Mutex, NullPointersAreIgnored) {
    EXPECT_EQ(LockMutex(nullptr), 0);
    UnLockMutex(nullptr);
    DestroyMutex(nullptr);
    { Lock guard(nullptr); }
    SUCCEED();  // none of the calls may crash
}

TEST(Mutex, LockHoldsForItsScopeAndReleasesOnException) {
    pthread_mutex_t mutex;
    ASSERT_EQ(InitMutex(&mutex), 0);
    {
        Lock guard(&mutex);
        EXPECT_EQ(TryLockFromOtherThread(&mutex), EBUSY);
    }
    EXPECT_EQ(TryLockFromOtherThread(&mutex), 0);
    try {
        Lock guard(&mutex);
        throw std::runtime_error("leave the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(TryLockFromOtherThread(&mutex), 0);
    DestroyMutex(&mutex);
}

void* ReturnArgument(void* arg) { return arg; }

TEST(Thread, EntryThatReturnsAtOnceGivesJoinableId) {
    int marker = 0;
    const pthread_t thread = CreateGenericThread(ReturnArgument, nullptr, &marker);
    ASSERT_NE(thread, static_cast<pthread_t>(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it end before the join
    void* result = nullptr;
    EXPECT_EQ(::pthread_join(thread, &result), 0);
    EXPECT_EQ(result, &marker);
}

TEST(Thread, MissingEntryGivesZero) {
    EXPECT_EQ(CreateGenericThread(nullptr, nullptr, nullptr), static_cast<pthread_t>(0));
}

TEST(Clock, TickCountAdvancesWithRealTime) {
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const long before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, ticksPerSecond * 2 / 10);
    EXPECT_LE(elapsed, ticksPerSecond * 3);
}

}  // namespace
