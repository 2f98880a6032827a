#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <future>

#include "platform/debug_log.h"
#include "platform/events.h"
#include "platform/loopback_udp.h"
#include "platform/mutex_thread.h"
#include "platform/notification_channel.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using kesto::test::LogPath;
using kesto::test::ReadLog;

TEST(DebugLog, EntriesAreStampArrowAndMessageCutAt1023BytesInAFileForItsOwnerOnly) {
    DebugPrint("%s", std::string(5000, 'x').c_str());
    const std::string cut = ReadLog();
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.find_first_not_of('x', cut.find(" ==> ") + 5), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    kesto::test::ClearLog();
    DebugPrint("hello %d\n", 5);
    DebugPrint("no line end");
    DebugPrint("%s\n", "100% sure");
    // LogMessages takes away each "Sat Dec  5 16:45:16 2026 ==> " and splits at line ends.
    EXPECT_EQ(kesto::test::LogMessages(), (std::vector<std::string>{"hello 5", "no line end100% sure"}));

    // Every bit is an entry, from the last byte's highest bit to the first byte's lowest.
    kesto::test::ClearLog();
    const unsigned char bytes[2] = {0x01, 0x82};
    printBits(2, bytes);
    EXPECT_EQ(kesto::test::LogMessages(), std::vector<std::string>{"1000001000000001"});

    // A link or FIFO planted at the path is never written through.
    kesto::test::ClearLog();
    kesto::test::TempDir dir;
    ASSERT_EQ(::symlink(dir.Write("target", "keep").c_str(), LogPath().c_str()), 0);
    DebugPrint("through the link\n");
    EXPECT_EQ(ReadLog(), "keep");

    kesto::test::ClearLog();
    ASSERT_EQ(::mkfifo(LogPath().c_str(), 0600), 0);
    DebugPrint("no reader: must not block\n");
    const int reader = ::open(LogPath().c_str(), O_RDONLY | O_NONBLOCK);
    DebugPrint("a reader: still no log file\n");
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

TEST(Events, PostsAreTakenAndTimeOutsWaitTheirMilliseconds) {
    Event event;
    ASSERT_EQ(InitEvent(&event), 1);
    TriggerEvent(&event);
    EXPECT_EQ(WaitForEvent(&event, 0), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvent(&event, 300), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));  // not a poll
    auto posted = std::async(std::launch::async, [&] { TriggerEvent(&event); });
    EXPECT_EQ(WaitForEvent(&event, -1), 0);
    EXPECT_EQ(DestroyEvent(&event), 0);
}

// The platform's wait and the timer-thread wait built for platforms without one.
TEST(TimedWait, APostIsTakenWhateverTheDeadlineAndAnEmptySemaphoreTimesOut) {
    for (auto wait : {&kesto::SemaphoreTimedWait, &kesto::TimerThreadSemTimedWait}) {
        sem_t semaphore;
        ASSERT_EQ(::sem_init(&semaphore, 0, 0), 0);
        timespec past, soon;
        ::clock_gettime(CLOCK_REALTIME, &past);
        soon = {past.tv_sec + 1, past.tv_nsec};
        past.tv_sec -= 5;
        ::sem_post(&semaphore);
        EXPECT_EQ(wait(&semaphore, &past), 0);
        for (const timespec* deadline : {&past, &soon}) {
            errno = 0;
            EXPECT_EQ(wait(&semaphore, deadline), -1);
            EXPECT_EQ(errno, ETIMEDOUT);
        }
        ::sem_destroy(&semaphore);
    }
}

TEST(Threads, LockHoldsItsMutexForItsScopeAndAThreadGetsItsArgument) {
    pthread_mutex_t mutex;
    ASSERT_EQ(InitMutex(&mutex), 0);
    {
        Lock guard(&mutex);
        EXPECT_EQ(::pthread_mutex_trylock(&mutex), EBUSY);
    }
    EXPECT_EQ(::pthread_mutex_trylock(&mutex), 0);
    UnLockMutex(&mutex);
    DestroyMutex(&mutex);
    int marker = 0;
    const pthread_t thread = CreateGenericThread([](void* argument) { return argument; }, nullptr, &marker);
    ASSERT_NE(thread, pthread_t(0));
    void* result = nullptr;
    EXPECT_EQ(::pthread_join(thread, &result), 0);
    EXPECT_EQ(result, &marker);
    EXPECT_EQ(CreateGenericThread(nullptr, nullptr, nullptr), pthread_t(0));
}

TEST(NotificationChannel, EachWordOfTheBytesReceivedAsksForOneCall) {
    const std::pair<std::string, int> rows[] = {{"DEVICE_ADD", 1},
                                                {"usb 1-2: DEVICE_REMOVE", 1},
                                                {"DEVICE_REMOVE DEVICE_ADD", 2},
                                                {"DEVICE_ADD DEVICE_ADD", 1},
                                                {"device_add DEVICE-REMOVE", 0},
                                                {"\0\0DEVICE_REMOVE"s, 1}};
    for (const auto& [datagram, calls] : rows) {
        EXPECT_EQ(kesto::DeviceNotificationCount(datagram.data(), datagram.size()), calls) << datagram;
    }
    EXPECT_EQ(kesto::DeviceNotificationCount("DEVICE_ADD", 9), 0);  // only the bytes received count
}

// The documented endpoints, where kesto-hotplugd sends.
TEST(NotificationChannel, TheLibraryListensOnTheDocumentedEndpointsInTurn) {
    const char* documented[] = {"127.0.0.1:9930", "127.0.0.2:9931", "127.0.0.3:9932", "127.0.0.4:9934",
                                "127.0.0.5:9935"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(MSG_IP[i] + ":"s + std::to_string(MSG_PORTS[i]), documented[i]);
}

std::atomic<int> g_calls{0};

TEST(NotificationChannel, MonitorBindsTheFirstFreeEndpointCallsBackAndEndsOnItsStop) {
    kesto::test::LoopbackUdp taken;
    const int port = kesto::test::LoopbackUdp::FreePort();
    const kesto::NotificationEndpoint endpoints[] = {
        {"not-an-address", port}, {"127.0.0.1", taken.port}, {"127.0.0.1", port}, {"127.0.0.1", port + 1}};
    kesto::SetNotificationEndpointsForTesting(endpoints, 4);
    kesto::NotificationStop stop;
    auto monitor = std::async(std::launch::async, [&] {
        kesto::MonitorDeviceNotificationUntil(
            nullptr, [](void* calls) { ++*static_cast<std::atomic<int>*>(calls); }, &g_calls, &stop);
    });
    ASSERT_TRUE(kesto::test::WaitUntil([&] { return kesto::test::SocketBoundTo(port) >= 0; }));
    EXPECT_NE(::fcntl(kesto::test::SocketBoundTo(port), F_GETFD) & FD_CLOEXEC, 0);
    ASSERT_TRUE(taken.Send(port, "\0DEVICE_ADD"s));
    EXPECT_TRUE(kesto::test::WaitUntil([] { return g_calls == 1; }));
    ASSERT_TRUE(taken.Send(port, "DEVICE_REMOVE DEVICE_ADD"));
    EXPECT_TRUE(kesto::test::WaitUntil([] { return g_calls == 3; }));

    stop.Request();
    ASSERT_EQ(monitor.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(kesto::test::SocketBoundTo(port), -1);
    EXPECT_EQ(g_calls.load(), 3);
    kesto::SetNotificationEndpointsForTesting(nullptr, 0);
}

TEST(NotificationChannel, DestroyClosesTheSlotsDescriptorZeroIncluded) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(::dup2(socket, 0), 0);
    ::close(socket);
    int slot = 0;
    DestroyDeviceNotification(&slot);
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);
}

}  // namespace
