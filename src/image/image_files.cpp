#include "image/image_files.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr size_t kPathSize = 512;

// Test redirection only; production never writes these.
char g_saved[kPathSize];
char g_mono[kPathSize];
char g_converted24[kPathSize];
std::atomic<bool> g_redirected{false};

const char* Pick(const char* redirected, const char* fixed) {
    return g_redirected.load(std::memory_order_acquire) ? redirected : fixed;
}

}  // namespace

namespace kesto {

const char* SavedFile() {
    return Pick(g_saved, "/tmp/saved1.bmp");
}

const char* MonoFile() {
    return Pick(g_mono, "/tmp/kesto1bpp.bmp");
}

const char* Converted24File() {
    return Pick(g_converted24, "/tmp/test.bmp");
}

void SetImageFileDirectoryForTesting(const char* directory) {
    if (directory == nullptr) {
        g_redirected.store(false, std::memory_order_release);
        return;
    }
    std::snprintf(g_saved, sizeof g_saved, "%s/saved1.bmp", directory);
    std::snprintf(g_mono, sizeof g_mono, "%s/kesto1bpp.bmp", directory);
    std::snprintf(g_converted24, sizeof g_converted24, "%s/test.bmp", directory);
    g_redirected.store(true, std::memory_order_release);
}

}  // namespace kesto
