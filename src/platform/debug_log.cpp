#include "platform/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "kesto/kesto.h"

namespace {

constexpr const char* kFixedLogPath = "/tmp/kestoDebugLog.log";
constexpr size_t kStampSize = 256;
constexpr size_t kEntrySize = 1024;
constexpr size_t kPathSize = 512;

// Test redirection only; production never writes these.
char g_testLogPath[kPathSize];
std::atomic<bool> g_useTestLogPath{false};

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
}

// The log lives in a world-writable directory: never follow a link planted at
// its path, never block on a FIFO planted there, append only to a regular file.
int OpenLogForAppend() {
    int fd = ::open(kesto::DebugLogPath(),
                    O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The start of every entry in the current second: GetDateTime's text and
// " ==> ", formatted once per second and thread, since formatting a date costs
// more than writing the entry. Its length goes to *length.
const char* EntryPrefix(size_t* length) {
    thread_local std::time_t second = -1;
    thread_local char prefix[kStampSize];
    thread_local size_t prefixLength = 0;
    const std::time_t now = std::time(nullptr);
    if (now != second) {
        char stamp[kStampSize] = {};
        GetDateTime(stamp);
        const int n = std::snprintf(prefix, sizeof prefix, "%s ==> ", stamp);
        prefixLength = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof prefix - 1);
        second = now;
    }
    *length = prefixLength;
    return prefix;
}

}  // namespace

namespace kesto {

const char* DebugLogPath() {
    return g_useTestLogPath.load(std::memory_order_acquire) ? g_testLogPath : kFixedLogPath;
}

void SetDebugLogPathForTesting(const char* path) {
    if (path == nullptr) {
        g_useTestLogPath.store(false, std::memory_order_release);
        return;
    }
    std::snprintf(g_testLogPath, sizeof g_testLogPath, "%s", path);
    g_useTestLogPath.store(true, std::memory_order_release);
}

}  // namespace kesto

extern "C" {

KESTO_API void GetDateTime(char* buffer) {
    if (buffer == nullptr) return;
    std::time_t now = std::time(nullptr);
    struct tm local;
    std::memset(&local, 0, sizeof local);
    if (::localtime_r(&now, &local) == nullptr) {
        buffer[0] = '\0';
        return;
    }
    if (std::strftime(buffer, 80, "%c", &local) == 0) buffer[0] = '\0';
}

KESTO_API void DebugPrint(const char* format, ...) {
    int fd = OpenLogForAppend();
    if (fd < 0) return;

    // The entry is the time stamp, " ==> " and the message up to its first zero
    // byte, cut at kEntrySize - 1 bytes; formatted in place, once.
    char entry[kEntrySize];
    size_t length = 0;
    const char* prefix = EntryPrefix(&length);
    length = std::min(length, sizeof entry - 1);
    std::memcpy(entry, prefix, length);
    entry[length] = '\0';
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(entry + length, sizeof entry - length, format, args);
        va_end(args);
        length += ::strnlen(entry + length, sizeof entry - 1 - length);
    }
    WriteAll(fd, entry, length);
    ::close(fd);
}

KESTO_API void OutputDebugString(const char* text) {
    DebugPrint("%s \n", text != nullptr ? text : "");
}

KESTO_API void printBits(unsigned long size, const void* data) {
    if (data != nullptr) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (unsigned long i = size; i-- > 0;) {
            for (int bit = 7; bit >= 0; --bit) {
                DebugPrint("%u", static_cast<unsigned>((bytes[i] >> bit) & 1u));
            }
        }
    }
    DebugPrint("%s", "");
}

}  // extern "C"
