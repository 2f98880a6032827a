#pragma once

#include <string>
#include <vector>

namespace kesto::test {

// Path of this test process's own debug log (see test_main.cpp).
const std::string& LogPath();

// The whole log as it stands; empty when there is none.
std::string ReadLog();

// Removes the log file.
void ClearLog();

// The messages of the log with their time stamps and " ==> " removed, in order.
// An entry without a line end stays joined to the next one, as in the file.
std::vector<std::string> LogMessages();

// True when the log holds text (a plain substring search).
bool LogContains(const std::string& text);

// How many times text occurs in the log.
size_t LogCount(const std::string& text);

}  // namespace kesto::test
