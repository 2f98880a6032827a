#include "support/log_reader.h"

#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace kesto::test {

std::string ReadLog() {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void ClearLog() { ::unlink(LogPath().c_str()); }

std::vector<std::string> LogMessages() {
    // A time stamp in the POSIX locale: "Sat Dec  5 16:45:16 2026 ==> ".
    static const std::regex stamp(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4} ==> )");
    std::vector<std::string> messages;
    std::istringstream lines(ReadLog());
    std::string line;
    while (std::getline(lines, line)) {
        messages.push_back(std::regex_replace(line, stamp, ""));
    }
    return messages;
}

bool LogContains(const std::string& text) { return ReadLog().find(text) != std::string::npos; }

size_t LogCount(const std::string& text) {
    const std::string log = ReadLog();
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
    return count;
}

}  // namespace kesto::test
