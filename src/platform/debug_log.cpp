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
constexpr size_t kMessageSize = 1024;
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
    char stamp[kStampSize] = {};
    GetDateTime(stamp);

    int fd = OpenLogForAppend();
    if (fd < 0) return;

    char message[kMessageSize] = {};
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(message, sizeof message, format, args);
        va_end(args);
    }

    char entry[kEntrySize] = {};
    int n = std::snprintf(entry, sizeof entry, "%s ==> %s", stamp, message);
    size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof entry - 1);
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
