#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "kesto/kesto.h"
#include "transport/printer_replies.h"

namespace kesto {

// What the library knows and asks about one open printer beyond the original
// status road: its state, its state callback, its print confirmations, and
// the one reader of what it sends back.
//
// The reader is a thread that runs only once an extension needs it (Start)
// and until Stop (the transport's Close). While it runs it is the only one
// that reads the device: it sorts every reply by kind and hands automatic
// status blocks to the original status poll (TakeStatusBlocks), real-time
// answers to QueryState, process-ID responses to the WaitPrinted call whose
// id they carry. Before it starts, the original poll reads the device itself
// (BeginDeviceRead/EndDeviceRead), and a read that was running when the
// reader started hands its bytes to the sorter, so nothing is lost or read twice.
class PrinterLink {
public:
    // One read of what the printer sent, waiting at most sliceMs, into a
    // buffer of 256 bytes: the count, 0 for nothing, -1 when the connection is gone.
    using ReadFn = std::function<int(char* buffer, int sliceMs)>;
    // Writes the bytes in one transport write; the count written.
    using WriteFn = std::function<int(const std::string& bytes)>;

    PrinterLink(ReadFn read, WriteFn write, std::atomic<int>& lastError);
    ~PrinterLink();
    PrinterLink(const PrinterLink&) = delete;
    PrinterLink& operator=(const PrinterLink&) = delete;

    // Starts the reader unless it runs. Stop ends and joins it (never from a
    // state callback); a later Start begins again.
    void Start();
    void Stop();

    // The original poll's device read: Begin is false when the reader owns the
    // device (take blocks instead); End is true when the reader started
    // meanwhile and took the bytes read (take blocks then too).
    bool BeginDeviceRead();
    bool EndDeviceRead(const char* bytes, int count);
    // The status blocks the reader queued, all at once, waiting up to waitMs
    // for one; 0 for none or once *stop is true.
    int TakeStatusBlocks(char* buffer, int waitMs, const std::atomic<bool>* stop);
    // A block the original poll decoded itself (the first 4 bytes of block).
    void NoteStatusBlock(const char* block);

    // The state of the latest automatic status block while the printer is
    // known to send one at every change (the status thread reads it, or
    // automatic status back was enabled for the running reader); else -1.
    int LatestState(bool statusThreadReads) const;
    void AutomaticStatusEnabled() { automaticStatus_ = true; }
    // Whether state differs from the one the last call reported: a host that
    // polls the state logs its changes, not every call.
    bool StateChangedSinceLastAsked(int state) { return askedState_.exchange(state) != state; }
    // Asks DLE EOT 1 to 4 and decodes the answers; -1 (last error set) when
    // the write fails or they do not come within timeoutMs.
    int QueryState(int timeoutMs);
    // callback null unregisters; returns once a running call of the old one ended.
    void SetCallback(void* handle, KESTO_PrinterStateCallback callback, void* userData);
    // Sends a process-ID request with a fresh id and waits for its response.
    bool WaitPrinted(int timeoutMs);

private:
    void Run();
    // Sorts bytes into the queues under mutex_; the state to report, or -1.
    int SortLocked(const char* bytes, int count);
    void Report(int state);
    bool WriteAll(const std::string& bytes);

    const ReadFn read_;
    const WriteFn write_;
    std::atomic<int>& lastError_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread reader_;
    bool running_ = false, stopping_ = false;
    int deviceReads_ = 0;
    ReplySorter sorter_;
    std::deque<Reply> blocks_;
    std::deque<uint8_t> realTime_;
    std::map<int, bool> waiting_;  // process ids asked for, and whether answered
    int reported_ = -1;            // the state last handed to the callback

    std::atomic<int> state_{-1};
    std::atomic<bool> automaticStatus_{false};
    std::atomic<int> askedState_{-2};
    std::atomic<unsigned> nextId_{0};
    std::mutex queryMutex_;  // one real-time query at a time: its answers carry no id

    std::recursive_mutex callbackMutex_;  // held while the callback runs
    KESTO_PrinterStateCallback callback_ = nullptr;
    void* handle_ = nullptr;
    void* userData_ = nullptr;
};

}  // namespace kesto
