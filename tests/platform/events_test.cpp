#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "kesto/kesto.h"
#include "platform/events.h"
#include "support/log_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
using TimedWait = int (*)(sem_t*, const struct timespec*);

// Threads of this process. The first thread start lets a sanitizer start a
// helper thread of its own, so a baseline is taken after one.
int ThreadCount() {
    std::thread([] {}).join();
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (struct dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
    }
    return count;
}

struct timespec FromNow(long milliseconds) {
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += milliseconds / 1000;
    t.tv_nsec += (milliseconds % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    if (t.tv_nsec < 0) {
        t.tv_sec -= 1;
        t.tv_nsec += 1000000000L;
    }
    return t;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every event test checks that no timer thread outlives its wait.
class EventTest : public ::testing::Test {
protected:
    void SetUp() override {
        threadsBefore = ThreadCount();
        ASSERT_EQ(InitEvent(&event), 1);
    }
    void TearDown() override {
        EXPECT_EQ(DestroyEvent(&event), 0);
        EXPECT_EQ(ThreadCount(), threadsBefore);
    }
    Event event;
    int threadsBefore = 0;
};

TEST_F(EventTest, TriggeredTwiceIsTakenByTwoPollsThenThirdPollTimesOut) {
    TriggerEvent(&event);
    TriggerEvent(&event);
    EXPECT_EQ(WaitForEvent(&event, 0), 0);
    EXPECT_EQ(WaitForEvent(&event, 0), 0);
    errno = 0;
    EXPECT_EQ(WaitForEvent(&event, 0), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
}

TEST_F(EventTest, PollOfEmptyEventFailsAtOnce) {
    const auto start = Clock::now();
    EXPECT_EQ(WaitForEvent(&event, 0), -1);
    EXPECT_LT(SecondsSince(start), 0.5);
    EXPECT_TRUE(kesto::test::LogContains("Valid Handle\n"));
}

TEST_F(EventTest, InfiniteWaitReturnsWhenPostedByAnotherThread) {
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        TriggerEvent(&event);
    });
    EXPECT_EQ(WaitForEvent(&event, -1), 0);
    poster.join();
}

TEST_F(EventTest, WaitForSem4WithSwitchZeroReturnsAtOnceAndTakesNothing) {
    TriggerEvent(&event);
    const auto start = Clock::now();
    WaitForSem4(event.handle, 800, 0);
    EXPECT_LT(SecondsSince(start), 0.5);
    EXPECT_EQ(WaitForEvent(&event, 0), 0);  // the posting is still there
    EXPECT_EQ(WaitForSem4(event.handle, 800, 1), -1);
}

TEST(EventNull, NullEventsAreHarmless) {
    TriggerEvent(nullptr);
    EXPECT_EQ(WaitForEvent(nullptr, 0), 1);
    EXPECT_EQ(WaitForEvent(nullptr, -1), 1);
    EXPECT_TRUE(kesto::test::LogContains("Retuning 1\n"));
}

TEST(EventLog, InitEventLogsItsSteps) {
    Event event;
    InitEvent(&event);
    EXPECT_TRUE(kesto::test::LogContains("Init Event\n"));
    EXPECT_TRUE(kesto::test::LogContains("InitEvent End.. Error is  ~~~~~~~~~~~"));
    DestroyEvent(&event);
}

// The same contract for the platform's timed wait and the timer-thread wait.
class TimedWaitTest : public ::testing::TestWithParam<TimedWait> {
protected:
    void SetUp() override {
        threadsBefore = ThreadCount();
        ASSERT_EQ(::sem_init(&semaphore, 0, 0), 0);
    }
    void TearDown() override {
        ::sem_destroy(&semaphore);
        EXPECT_EQ(ThreadCount(), threadsBefore);
    }
    int Wait(const struct timespec& deadline) { return GetParam()(&semaphore, &deadline); }
    sem_t semaphore;
    int threadsBefore = 0;
};

TEST_P(TimedWaitTest, PastDeadlineTakesPostedAndTimesOutOnEmpty) {
    const struct timespec past = FromNow(-5000);
    ::sem_post(&semaphore);
    EXPECT_EQ(Wait(past), 0);
    errno = 0;
    const auto start = Clock::now();
    EXPECT_EQ(Wait(past), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_LT(SecondsSince(start), 0.5);
}

TEST_P(TimedWaitTest, BadNanosecondsGiveEinvalOnlyWhenNothingIsPosted) {
    for (long nanoseconds : {-1L, 1000000000L}) {
        struct timespec bad = FromNow(1000);
        bad.tv_nsec = nanoseconds;
        errno = 0;
        EXPECT_EQ(Wait(bad), -1) << nanoseconds;
        EXPECT_EQ(errno, EINVAL) << nanoseconds;
        ::sem_post(&semaphore);
        EXPECT_EQ(Wait(bad), 0) << nanoseconds;
    }
}

TEST_P(TimedWaitTest, PostedAfterOneSecondOfTwoReturnsEarly) {
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ::sem_post(&semaphore);
    });
    const auto start = Clock::now();
    EXPECT_EQ(Wait(FromNow(2000)), 0);
    const double waited = SecondsSince(start);
    poster.join();
    EXPECT_GT(waited, 0.8);
    EXPECT_LT(waited, 1.9);
}

TEST_P(TimedWaitTest, NeverPostedTimesOutAtTheDeadline) {
    const auto start = Clock::now();
    errno = 0;
    EXPECT_EQ(Wait(FromNow(2000)), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const double waited = SecondsSince(start);
    EXPECT_GT(waited, 1.8);
    EXPECT_LT(waited, 4.0);
}

void NoteSignal(int) {}

TEST_P(TimedWaitTest, AnotherSignalWithHandlerEndsTheWaitWithEintr) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, nullptr), 0);

    const pthread_t waiter = ::pthread_self();
    std::thread interrupter([waiter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::pthread_kill(waiter, SIGUSR1);
    });
    const auto start = Clock::now();
    errno = 0;
    const int result = Wait(FromNow(3000));
    const int error = errno;
    interrupter.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EINTR);
    EXPECT_LT(SecondsSince(start), 2.5);
}

INSTANTIATE_TEST_SUITE_P(Platform, TimedWaitTest, ::testing::Values(&kesto::SemaphoreTimedWait),
                         [](const auto&) { return std::string("Platform"); });
INSTANTIATE_TEST_SUITE_P(TimerThread, TimedWaitTest, ::testing::Values(&kesto::TimerThreadSemTimedWait),
                         [](const auto&) { return std::string("TimerThread"); });

TEST(TriggerSignal, InstallsDoNothingHandlerAndSignalsTheThread) {
    EXPECT_EQ(triggerSignal(SIGUSR2, ::pthread_self()), 0);
    struct sigaction installed;
    ASSERT_EQ(::sigaction(SIGUSR2, nullptr, &installed), 0);
    EXPECT_EQ(installed.sa_handler, &ignoreSignal);
    EXPECT_EQ(installed.sa_flags & SA_RESTART, 0);
}

}  // namespace
