#pragma once

// What every test binary shares: its own debug log and image files (test_main.cpp sets
// them up for the process), reading the log, waiting for a condition, scratch folders.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kesto::test {

// This process's own debug log and the folder of its image files.
const std::string& LogPath();
const std::string& ImageDir();

std::string ReadLog();  // empty when there is none
void ClearLog();
// How many times text occurs in the log (a plain substring count).
size_t LogCount(const std::string& text);
inline bool LogContains(const std::string& text) { return LogCount(text) > 0; }
// The log's messages in order, time stamps and " ==> " removed; an entry
// without a line end stays joined to the next one, as in the file.
std::vector<std::string> LogMessages();

// Waits until done() holds, looking every millisecond; false after the limit.
// For outcomes another thread or process brings about; the limit is generous,
// never a timing assertion.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));

// A scratch folder under /tmp, removed with what it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Writes bytes to name in the folder; its full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

}  // namespace kesto::test
