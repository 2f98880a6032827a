// kesto-hotplugd as a program: its options, its messages and its shutdown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hotplug_notifier.h"
#include "platform/notification_endpoints.h"
#include "hotplug_test_support.h"
#include "kesto/kesto.h"

extern char** environ;

namespace {

using kesto::hotplug::Options;
using kesto::hotplug::ParseOptions;
using kesto::test::EndpointListener;

bool Parse(std::vector<const char*> arguments, Options& options, std::string& error) {
    arguments.insert(arguments.begin(), "kesto-hotplugd");
    return ParseOptions(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

// The daemon as a child process with its standard output and error in pipes.
class Daemon {
public:
    explicit Daemon(const std::vector<std::string>& arguments) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        std::vector<std::string> all{KESTO_HOTPLUGD_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        for (std::string& argument : all) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        if (::posix_spawn(&pid, KESTO_HOTPLUGD_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        outFd = out[0];
        errFd = err[0];
    }
    ~Daemon() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (outFd >= 0) ::close(outFd);
        if (errFd >= 0) ::close(errFd);
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Reads standard error until it holds text; false after limit or at its end.
    bool WaitForError(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (errText.find(text) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(errFd, errText, static_cast<int>(left.count()))) return false;
        }
        return true;
    }

    // Waits for the exit and reads the rest of both streams; the exit status
    // as waitpid gives it, or -1.
    int Wait() {
        int status = -1;
        if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
        pid = -1;
        while (ReadSome(outFd, outText, 1000)) {
        }
        while (ReadSome(errFd, errText, 1000)) {
        }
        return status;
    }

    pid_t pid = -1;
    std::string outText, errText;

private:
    static bool ReadSome(int fd, std::string& into, int timeoutMs) {
        pollfd ready = {fd, POLLIN, 0};
        if (fd < 0 || ::poll(&ready, 1, timeoutMs) != 1) return false;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }

    int outFd = -1, errFd = -1;
};

TEST(HotplugOptions, DefaultsWatchTheListedModel) {
    Options options;
    std::string error;
    ASSERT_TRUE(Parse({}, options, error));
    EXPECT_EQ(options.vendorId, 0x1209);
    EXPECT_EQ(options.productId, 0x0008);
    EXPECT_FALSE(options.once);
    EXPECT_FALSE(options.verbose);
}

TEST(HotplugOptions, IdsInHexWithOrWithoutPrefixAndAnyProduct) {
    Options options;
    std::string error;
    ASSERT_TRUE(Parse({"--vendor", "0x04B8", "--product=0202", "--once", "-v"}, options, error)) << error;
    EXPECT_EQ(options.vendorId, 0x04b8);
    EXPECT_EQ(options.productId, 0x0202);
    EXPECT_TRUE(options.once);
    EXPECT_TRUE(options.verbose);

    ASSERT_TRUE(Parse({"--product", "any", "--vendor=ffff"}, options, error)) << error;
    EXPECT_EQ(options.productId, kesto::hotplug::kAnyProduct);
    EXPECT_EQ(options.vendorId, 0xffff);
}

TEST(HotplugOptions, BadValuesAndUnknownOptionsAreRefused) {
    const std::vector<std::vector<const char*>> refused = {
        {"--vendor"},   {"--vendor", "12345"}, {"--product", "xyz"},
        {"--product="}, {"--vendor", "-1"},    {"--once=yes"},
        {"--bogus"},    {"--vendor", "0x"},    {"--product", "12 3"},
    };
    for (const auto& arguments : refused) {
        Options options;
        std::string error;
        EXPECT_FALSE(Parse(arguments, options, error)) << arguments[0];
        EXPECT_FALSE(error.empty()) << arguments[0];
    }
}

TEST(HotplugEndpoints, EveryEndpointGetsTheMessage) {
    std::vector<std::unique_ptr<EndpointListener>> listeners;
    for (int i = 0; i < kesto::kNotificationEndpoints; ++i) {
        listeners.push_back(std::make_unique<EndpointListener>(kesto::kNotificationHosts[i], kesto::kNotificationPorts[i]));
        ASSERT_TRUE(listeners.back()->Bound()) << i;
    }
    EXPECT_EQ(kesto::hotplug::SendToAllEndpoints("DEVICE_REMOVE"), 5);
    for (auto& listener : listeners) EXPECT_EQ(listener->Next(), "DEVICE_REMOVE");
    // Nobody listening is no failure.
    listeners.clear();
    EXPECT_EQ(kesto::hotplug::SendToAllEndpoints("DEVICE_ADD"), 5);
}

TEST(HotplugDaemon, HelpAndBadOptions) {
    Daemon help({"--help"});
    ASSERT_GT(help.pid, 0);
    const int helpStatus = help.Wait();
    ASSERT_TRUE(WIFEXITED(helpStatus));
    EXPECT_EQ(WEXITSTATUS(helpStatus), 0);
    EXPECT_EQ(help.outText.rfind("usage: kesto-hotplugd", 0), 0u) << help.outText;

    Daemon bad({"--product", "nonsense"});
    ASSERT_GT(bad.pid, 0);
    const int badStatus = bad.Wait();
    ASSERT_TRUE(WIFEXITED(badStatus));
    EXPECT_EQ(WEXITSTATUS(badStatus), 2);
    EXPECT_NE(bad.errText.find("--product wants a hexadecimal USB id or 'any'"), std::string::npos)
        << bad.errText;
    EXPECT_NE(bad.errText.find("usage: kesto-hotplugd"), std::string::npos);
    EXPECT_TRUE(bad.outText.empty());
}

TEST(HotplugDaemon, StopsCleanlyOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT, SIGTERM, SIGINT, SIGTERM, SIGINT}) {
        Daemon daemon({"--verbose", "--product", "any"});
        ASSERT_GT(daemon.pid, 0);
        ASSERT_TRUE(daemon.WaitForError("kesto-hotplugd: watching 1209:any\n")) << daemon.errText;
        ASSERT_EQ(::kill(daemon.pid, signal), 0);
        const int status = daemon.Wait();
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signal;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_NE(daemon.errText.find("kesto-hotplugd: stopped\n"), std::string::npos) << daemon.errText;
    }
}

#ifdef __linux__
// The blocked-signal mask of one thread of a process, from /proc; false when
// it cannot be read.
bool BlockedSignals(const std::string& taskDirectory, unsigned long long& mask) {
    std::ifstream status(taskDirectory + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) == 0) {
            mask = std::stoull(line.substr(7), nullptr, 16);
            return true;
        }
    }
    return false;
}

// A stop signal whose handler ran on a thread that sleeps until a device
// comes or goes could be held there; the daemon keeps them blocked in every
// thread and takes them off the queue in its event loop instead.
TEST(HotplugDaemon, NoThreadTakesStopSignalsAsynchronously) {
    Daemon daemon({"--verbose", "--product", "any"});
    ASSERT_GT(daemon.pid, 0);
    ASSERT_TRUE(daemon.WaitForError("kesto-hotplugd: watching 1209:any\n")) << daemon.errText;
    const std::string tasks = "/proc/" + std::to_string(daemon.pid) + "/task";
    const unsigned long long stopBits = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
    int threads = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tasks)) {
        unsigned long long mask = 0;
        ASSERT_TRUE(BlockedSignals(entry.path().string(), mask)) << entry.path();
        EXPECT_EQ(mask & stopBits, stopBits) << entry.path();
        ++threads;
    }
    // The main thread and libusb's event thread at least.
    EXPECT_GE(threads, 2);
}
#endif

}  // namespace
