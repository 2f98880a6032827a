// kesto-hotplugd's options, and the program stopping on its stop signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "hotplug_notifier.h"

namespace {

bool Parse(std::vector<const char*> arguments, kesto::hotplug::Options& options) {
    std::string error;
    arguments.insert(arguments.begin(), "kesto-hotplugd");
    return kesto::hotplug::ParseOptions(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

TEST(HotplugOptions, WatchTheListedModelByDefaultAndRefuseBadValues) {
    kesto::hotplug::Options options;
    ASSERT_TRUE(Parse({}, options));
    EXPECT_TRUE(options.vendorId == 0x1209 && options.productId == 0x0008 && options.endpoints.empty());
    ASSERT_TRUE(
        Parse({"--vendor", "0x04B8", "--product=any", "--once", "-v", "--endpoint=127.0.0.2:7"}, options));
    EXPECT_TRUE(options.vendorId == 0x04b8 && options.productId == kesto::hotplug::kAnyProduct);
    EXPECT_TRUE(options.once && options.verbose);
    ASSERT_EQ(options.endpoints.size(), 1u);
    EXPECT_TRUE(options.endpoints[0].host == "127.0.0.2" && options.endpoints[0].port == 7);
    for (const char* refused : {"--vendor", "--vendor=12345", "--product=xyz", "--once=yes", "--bogus",
                                "--endpoint=127.0.0.1", "--endpoint=host:1", "--endpoint=127.0.0.1:0"}) {
        EXPECT_FALSE(Parse({refused}, options)) << refused;
    }
}

// SIGINT and SIGTERM stay blocked in every thread; the main loop takes them and ends cleanly.
TEST(HotplugDaemon, StopsCleanlyOnSigtermAndSigint) {
    for (int stopSignal : {SIGTERM, SIGINT}) {
        FILE* output = ::popen("echo $$; exec " KESTO_HOTPLUGD_PATH " --verbose --product any 2>&1", "r");
        char line[256] = {};
        ASSERT_TRUE(output != nullptr && std::fgets(line, sizeof line, output) != nullptr);
        const pid_t pid = std::stoi(line);
        std::string text;
        while (text.find("watching 1209:any") == std::string::npos && std::fgets(line, sizeof line, output))
            text += line;
        const unsigned long long stopBits = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
            std::ifstream status(task.path() / "status");
            std::string field;
            while (std::getline(status, field) && field.rfind("SigBlk:", 0) != 0) {
            }
            EXPECT_EQ(std::stoull(field.substr(7), nullptr, 16) & stopBits, stopBits) << task.path();
        }
        ASSERT_EQ(::kill(pid, stopSignal), 0);
        while (std::fgets(line, sizeof line, output)) text += line;
        const int status = ::pclose(output);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_NE(text.find("kesto-hotplugd: stopped\n"), std::string::npos) << text;
    }
}

}  // namespace
