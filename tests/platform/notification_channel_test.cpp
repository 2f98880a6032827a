#include "platform/notification_channel.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/notification_test_support.h"
#include "support/log_reader.h"

namespace {

using namespace std::string_literals;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::SendDatagram;
using kesto::test::TakenEndpoint;
using kesto::test::WaitForReceives;
using kesto::test::WaitUntil;

struct Calls {
    std::atomic<int> count{0};
    static void Count(void* context) { ++static_cast<Calls*>(context)->count; }
};

// Runs a monitor on its own thread and stops it on destruction.
class RunningMonitor {
public:
    explicit RunningMonitor(void (*notify)(void*), void* context) {
        done = std::async(std::launch::async,
                          [=] { kesto::MonitorDeviceNotificationUntil(nullptr, notify, context, &stop); });
    }
    ~RunningMonitor() { Stop(); }
    // True when the monitor returned after the stop request.
    bool Stop() {
        stop.Request();
        return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    }
    bool Returned() { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

private:
    kesto::NotificationStop stop;
    std::future<void> done;
};

bool WaitForBind(const std::string& ip, int port) {
    const std::string line = "***Bind Success  " + ip + " on Port " + std::to_string(port) + " ***\n";
    return WaitUntil([&] { return LogContains(line); });
}

size_t OpenDescriptors() {
    size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}

// The socket of this process bound to ip:port, or -1.
int FindBoundSocket(const char* ip, int port) {
    const sockaddr_in wanted = kesto::test::LoopbackAddress(ip, port);
    for (int fd = 0; fd < 1024; ++fd) {
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
        sockaddr_in address;
        socklen_t size = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
            address.sin_port == wanted.sin_port && address.sin_addr.s_addr == wanted.sin_addr.s_addr) {
            return fd;
        }
    }
    return -1;
}

TEST(NotificationChannel, CallsOnceForEachWordInTheBytesReceived) {
    Calls calls;
    RunningMonitor monitor(&Calls::Count, &calls);
    ASSERT_TRUE(WaitForBind("127.0.0.1", 9930));
    EXPECT_TRUE(LogContains("Bind Success. on Port 9930 \n"));
    EXPECT_EQ(LogCount("Bind failed."), 0u);

    struct Case {
        std::string datagram;
        int calls;
    } cases[] = {
        {"DEVICE_ADD", 1},
        {"usb 1-2: DEVICE_REMOVE (printer)", 1},
        {"DEVICE_REMOVE then DEVICE_ADD", 2},
        {"DEVICE_ADD DEVICE_ADD", 1},  // each word counts once per datagram
        {"nothing to see", 0},
        {"DEVICE_add device_remove", 0},
        {"\0\0DEVICE_ADD"s, 1},                     // a NUL byte does not end the search
        {std::string(502, 'x') + "DEVICE_ADD", 1},  // ends at byte 512
        {std::string(503, 'x') + "DEVICE_ADD", 0},  // cut at 512 bytes: "DEVICE_AD"
    };
    int expected = 0;
    size_t sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.datagram.substr(0, 40));
        ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, c.datagram));
        ++sent;
        ASSERT_TRUE(WaitForReceives(sent + 1));
        expected += c.calls;
        EXPECT_EQ(calls.count.load(), expected);
    }
    EXPECT_EQ(LogCount("recvfrom() Failed"), 0u);
}

TEST(NotificationChannel, StopEndsTheMonitorAndFreesItsCloseOnExecSocket) {
    Calls calls;
    RunningMonitor monitor(&Calls::Count, &calls);
    ASSERT_TRUE(WaitForBind("127.0.0.1", 9930));
    ASSERT_TRUE(WaitForReceives(1));

    int fd = FindBoundSocket("127.0.0.1", 9930);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);

    EXPECT_FALSE(monitor.Returned());
    ASSERT_TRUE(monitor.Stop());
    EXPECT_EQ(FindBoundSocket("127.0.0.1", 9930), -1);
    TakenEndpoint again("127.0.0.1", 9930);
    EXPECT_TRUE(again.Taken());
    EXPECT_EQ(calls.count.load(), 0);
}

TEST(NotificationChannel, NullCallbackDropsDatagrams) {
    RunningMonitor monitor(nullptr, nullptr);
    ASSERT_TRUE(WaitForBind("127.0.0.1", 9930));
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_ADD DEVICE_REMOVE"));
    EXPECT_TRUE(WaitForReceives(2));
    EXPECT_TRUE(monitor.Stop());
}

TEST(NotificationChannel, TakenFirstEndpointMovesToTheNext) {
    TakenEndpoint first("127.0.0.1", 9930);
    ASSERT_TRUE(first.Taken());
    Calls calls;
    RunningMonitor monitor(&Calls::Count, &calls);
    ASSERT_TRUE(WaitForBind("127.0.0.2", 9931));
    EXPECT_EQ(LogCount("Bind failed.  Retrying with other ports " + std::to_string(EADDRINUSE) + " \n"), 1u);
    EXPECT_TRUE(LogContains("Bind Success. on Port 9931 \n"));

    ASSERT_TRUE(SendDatagram("127.0.0.2", 9931, "DEVICE_ADD"));
    EXPECT_TRUE(WaitUntil([&] { return calls.count.load() == 1; }));
}

TEST(NotificationChannel, AllEndpointsTakenReturnsAfterFiveRetriesWithoutLeakingTheSocket) {
    TakenEndpoint taken[] = {{"127.0.0.1", 9930},
                             {"127.0.0.2", 9931},
                             {"127.0.0.3", 9932},
                             {"127.0.0.4", 9934},
                             {"127.0.0.5", 9935}};
    for (const TakenEndpoint& endpoint : taken) ASSERT_TRUE(endpoint.Taken());

    const size_t before = OpenDescriptors();
    Calls calls;
    MonitorDeviceNotification(nullptr, &Calls::Count);  // must return

    EXPECT_EQ(LogCount("Bind failed.  Retrying with other ports " + std::to_string(EADDRINUSE) + " \n"), 5u);
    EXPECT_TRUE(LogContains("Bind Failed. Reached Max Attempts\n"));
    EXPECT_FALSE(LogContains("Bind Success"));
    EXPECT_FALSE(LogContains("Waiting for RecevFrom"));
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(NotificationChannel, EndpointTablesAreInOrder) {
    const char* ips[] = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    const int ports[] = {9930, 9931, 9932, 9934, 9935, 0, 0, 0};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(MSG_IP[i], ips[i]);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(MSG_PORTS[i], ports[i]);
}

TEST(DestroyDeviceNotification, ClosesTheSlotsDescriptorAndLeavesEmptySlotsAlone) {
    DestroyDeviceNotification(nullptr);
    int empty = -1;
    DestroyDeviceNotification(&empty);
    EXPECT_EQ(empty, -1);

    int slot = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(slot, 0);
    const int descriptor = slot;
    DestroyDeviceNotification(&slot);
    EXPECT_EQ(slot, -1);
    errno = 0;
    EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(TryOpenPort, MissingPortIsZeroAndLogged) {
    EXPECT_EQ(TryOpenPort(98765), 0);
    EXPECT_TRUE(LogContains("can not open /dev/ttyS98765 :: errno " + std::to_string(ENOENT) + "\n"));
}

}  // namespace
