// Every test process logs to a file of its own, so tests can run side by side
// and read exactly what they caused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <string>

#include "platform/debug_log.h"
#include "support/log_reader.h"

namespace kesto::test {

const std::string& LogPath() {
    static const std::string path = [] {
        ::mkdir("/tmp/kesto-test-logs", 0777);
        return "/tmp/kesto-test-logs/" + std::to_string(::getpid()) + ".log";
    }();
    return path;
}

}  // namespace kesto::test

namespace {

class LogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        kesto::test::ClearLog();
        kesto::SetDebugLogPathForTesting(kesto::test::LogPath().c_str());
    }
    void TearDown() override { kesto::test::ClearLog(); }
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);
    return RUN_ALL_TESTS();
}
