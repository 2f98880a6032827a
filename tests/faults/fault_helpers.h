#pragma once

// Shared by the fault tests: device handles made through the public API,
// payloads, and the checks every fault case makes (the process is still
// whole, no accepted byte lost or reordered).

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "kesto/kesto.h"

namespace kesto::test {

inline std::string EthDescription(const std::string& path) {
    return "<device><type>ETH</type><path>" + path + "</path></device>";
}

inline std::string UsbDescription(const std::string& model = "VANTO500") {
    return "<device><type>USB</type><path>0001:0002:00</path><modal>" + model + "</modal></device>";
}

// A device handle that is destroyed at the end of its scope, whatever happens.
class DeviceHandle {
public:
    explicit DeviceHandle(std::string description)
        : handle_(KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()))) {}
    ~DeviceHandle() { Destroy(); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    void* get() const { return handle_; }
    int Destroy() {
        void* handle = handle_;
        handle_ = nullptr;
        return handle != nullptr ? KESTO_DestroyDevicePointer(handle) : 0;
    }

private:
    void* handle_;
};

// Bytes that differ from position to position, so that a lost, repeated or
// swapped piece shows in a comparison.
inline std::string Payload(size_t size, uint32_t seed = 7) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

inline int Write(void* handle, const std::string& bytes) {
    return KESTO_WriteData(handle, bytes.data(), static_cast<int>(bytes.size()));
}

// What a printer received is a prefix of what was sent, in order, and holds
// at least every byte the writes reported as written.
inline ::testing::AssertionResult ArrivedInOrder(const std::string& received, const std::string& sent,
                                                 size_t reported) {
    if (received.size() > sent.size() || sent.compare(0, received.size(), received) != 0) {
        size_t at = 0;
        while (at < received.size() && at < sent.size() && received[at] == sent[at]) ++at;
        return ::testing::AssertionFailure() << "received " << received.size() << " bytes of " << sent.size()
                                             << ", first difference at " << at;
    }
    if (received.size() < reported) {
        return ::testing::AssertionFailure()
               << "writes reported " << reported << " bytes, the printer has " << received.size();
    }
    return ::testing::AssertionSuccess();
}

// SIGPIPE still ends the process by default: a write that raised it would
// kill the test, so surviving it proves the library suppressed it.
inline bool BrokenPipeIsFatal() {
    struct sigaction current {};
    return ::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

// Threads of this process (entries of /proc/self/task).
inline int ThreadCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
    }
    return count;
}

// Polls condition until it holds; false when limit passed first.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Runs body and tells how long it took.
inline std::chrono::milliseconds Timed(const std::function<void()>& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace kesto::test
