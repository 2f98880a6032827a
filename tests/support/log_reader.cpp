#include "support/log_reader.h"

#include <unistd.h>

#include <fstream>
#include <cctype>
#include <sstream>

namespace kesto::test {

std::string ReadLog() {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void ClearLog() { ::unlink(LogPath().c_str()); }

namespace {

// A time stamp in the POSIX locale, "Sat Dec  5 16:45:16 2026", followed by " ==> ".
bool IsStampAt(const std::string& line, size_t at) {
    static const char kShape[] = "Aaa Aaa _9 99:99:99 9999 ==> ";
    if (line.size() < at + sizeof kShape - 1) return false;
    for (size_t i = 0; i + 1 < sizeof kShape; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[at + i]);
        switch (kShape[i]) {
            case 'A': if (!std::isupper(c)) return false; break;
            case 'a': if (!std::islower(c)) return false; break;
            case '9': if (!std::isdigit(c)) return false; break;
            case '_': if (c != ' ' && !std::isdigit(c)) return false; break;
            default: if (c != static_cast<unsigned char>(kShape[i])) return false;
        }
    }
    return true;
}

constexpr size_t kStampLength = 29;  // the stamp and " ==> "

}  // namespace

std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    std::istringstream lines(ReadLog());
    std::string line;
    while (std::getline(lines, line)) {
        std::string message;
        for (size_t at = 0; at < line.size();) {
            if (IsStampAt(line, at)) {
                at += kStampLength;
            } else {
                message += line[at++];
            }
        }
        messages.push_back(message);
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
