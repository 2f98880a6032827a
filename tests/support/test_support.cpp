#include "support/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kesto::test {

std::string ReadLog() {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void ClearLog() {
    ::unlink(LogPath().c_str());
}

size_t LogCount(const std::string& text) {
    const std::string log = ReadLog();
    size_t count = 0;
    for (size_t at = log.find(text); !text.empty() && at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
}

std::vector<std::string> LogMessages() {
    // "Sat Dec  5 16:45:16 2026 ==> " in the POSIX locale.
    static const std::regex stamp(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4} ==> )");
    std::vector<std::string> messages;
    std::istringstream lines(ReadLog());
    for (std::string line; std::getline(lines, line);) messages.push_back(std::regex_replace(line, stamp, ""));
    return messages;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TempDir::TempDir() {
    char name[] = "/tmp/kesto-test-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("no scratch folder");
    path_ = name;
}

TempDir::~TempDir() {
    const std::string command = "rm -rf '" + path_ + "'";
    (void)!std::system(command.c_str());
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

}  // namespace kesto::test
