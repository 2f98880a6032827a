// The status thread switches the printer to automatic status back and polls
// the transport, which decodes each block and calls the host's callback.
#include "api/status_thread.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/mutex_thread.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"

namespace {

// Serialises starting and stopping: two host threads must not both start a
// thread or both join the same one.
std::mutex g_statusThreadControl;
// The handle the running thread polls through; null when no thread runs.
std::atomic<void*> g_statusThreadDevice{nullptr};

// Standing back while a print call writes: keep the log entry, but do not spin a core.
// Each pass writes two log entries; 25 ms keeps standing back well under 1% of a core.
constexpr auto kStandBackPause = std::chrono::milliseconds(25);
// A poll that got nothing from the printer (a dropped connection, an unplugged
// device fails every read at once): pause before the next one, so that a
// printer that is gone does not make the thread spin a core and flood the log.
constexpr auto kFailedPollPause = std::chrono::milliseconds(100);
constexpr auto kPauseSlice = std::chrono::milliseconds(10);

void PauseUnlessStopping(std::chrono::milliseconds pause) {
    for (auto waited = std::chrono::milliseconds(0); waited < pause && !g_bExitFlag; waited += kPauseSlice) {
        std::this_thread::sleep_for(kPauseSlice);
    }
}

void KillThreadLocked() {
    const pthread_t thread = _threadHandle.load();
    if (thread == 0) return;
    DebugPrint("Killing Thread Exit Flag Set to True\n");
    TriggerEvent(&_terminateReader);
    g_bExitFlag = true;
    ::pthread_join(thread, nullptr);
    _threadHandle = 0;
    g_statusThreadDevice = nullptr;
    DestroyEvent(&_terminateReader);
    DebugPrint("Thread Killed\n");
}

}  // namespace

void* GetPrinterStatusThreadProc(void* handle) {
    Communication* comm = GetCommPtr(handle);
    if (comm == nullptr) return nullptr;
    DebugPrint("inside Thread\n");
    kesto::Send(*comm, ASB_Printer_Status[0]);
    while (!g_bExitFlag) {
        const bool printing = g_bPrintInProgress;
        DebugPrint("g_bPrintInProgress value is %d\n", printing ? 1 : 0);
        if (!printing) {
            // The stop flag lets a read waiting for the printer end early when
            // the thread is asked to stop.
            const kesto::StatusPoll poll = comm->PollStatus(&g_bExitFlag);
            ::usleep(50);
            if (poll.readNothing) PauseUnlessStopping(kFailedPollPause);
        } else {
            DebugPrint("Thread is NOT Running\n");
            std::this_thread::sleep_for(kStandBackPause);
        }
    }
    DebugPrint("Thread is Exited\n");
    return nullptr;
}

int CreateStatusThread(void* handle) {
    DebugPrint("Creating Status Thread\n");
    g_statusThreadDevice = handle;
    const pthread_t thread = CreateGenericThread(GetPrinterStatusThreadProc, nullptr, handle);
    _threadHandle = thread;
    if (thread == 0) g_statusThreadDevice = nullptr;
    return thread != 0 ? 1 : -1;
}

void KillThread() {
    std::lock_guard<std::mutex> guard(g_statusThreadControl);
    KillThreadLocked();
}

bool StatusThreadReads(void* handle) {
    return handle != nullptr && g_statusThreadDevice.load() == handle;
}

void StopStatusThreadUsing(void* handle) {
    std::lock_guard<std::mutex> guard(g_statusThreadControl);
    if (handle != nullptr && g_statusThreadDevice.load() == handle) KillThreadLocked();
}

extern "C" {

KESTO_API int KESTO_CreateStatusThread(void* handle) {
    return kesto::Guarded(-1, [&] {
        std::lock_guard<std::mutex> guard(g_statusThreadControl);
        // One thread per process: a second start replaces the first instead of
        // leaking it and re-initialising the event under it.
        KillThreadLocked();
        g_bExitFlag = false;
        InitEvent(&_terminateReader);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return CreateStatusThread(handle);
    });
}

KESTO_API void KESTO_DestroyStatusThread(void* /*handle*/) {
    kesto::Guarded(0, [] {
        DebugPrint("KESTO_DestroyStatusThread\n");
        KillThread();
        return 0;
    });
}

KESTO_API int KESTO_GetPrinterStatus(void* handle) {
    return kesto::WithPrinter(handle, [](Communication& comm) {
        DebugPrint("Returning from KESTO_GetPrinterStatus\n");
        return comm.GetPrinterStatus();
    });
}

}  // extern "C"
