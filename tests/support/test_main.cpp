// Every test process has a debug log and image files of its own, so tests run
// side by side and read exactly what they caused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <string>

#include "image/image_files.h"
#include "platform/debug_log.h"
#include "support/test_support.h"

namespace kesto::test {

const std::string& LogPath() {
    static const std::string path = [] {
        ::mkdir("/tmp/kesto-test-logs", 0777);
        return "/tmp/kesto-test-logs/" + std::to_string(::getpid()) + ".log";
    }();
    return path;
}

const std::string& ImageDir() {
    static const TempDir dir;
    return dir.path();
}

}  // namespace kesto::test

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    ::testing::InitGoogleTest(&argc, argv);
    kesto::test::ClearLog();
    kesto::SetDebugLogPathForTesting(kesto::test::LogPath().c_str());
    kesto::SetImageFileDirectoryForTesting(kesto::test::ImageDir().c_str());
    const int result = RUN_ALL_TESTS();
    kesto::test::ClearLog();
    return result;
}
