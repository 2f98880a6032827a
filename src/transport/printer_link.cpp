#include "transport/printer_link.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/status_poll.h"

namespace kesto {

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// How long one read of the reader waits, and the pause after a read found the connection gone.
constexpr int kReadSliceMs = 100;
constexpr Millis kGonePause(100);
// Queued replies nobody took are dropped oldest first beyond these counts.
constexpr size_t kMaxBlocks = 64;  // 256 bytes: what one original read returned at most
constexpr size_t kMaxRealTime = 16;

}  // namespace

PrinterLink::PrinterLink(ReadFn read, WriteFn write, std::atomic<int>& lastError)
    : read_(std::move(read)), write_(std::move(write)), lastError_(lastError) {}

PrinterLink::~PrinterLink() {
    Stop();
}

void PrinterLink::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return;
    running_ = true;
    stopping_ = false;
    reader_ = std::thread([this] { Run(); });
}

void PrinterLink::Stop() {
    std::thread reader;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        stopping_ = true;
        reader = std::move(reader_);
    }
    changed_.notify_all();
    reader.join();
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    automaticStatus_ = false;  // a reopened connection may meet a printer switched off and on
    changed_.notify_all();
}

void PrinterLink::Run() {
    {
        // A read of the original poll that began before the reader started
        // ends first and hands over what it read.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return deviceReads_ == 0 || stopping_; });
    }
    char buffer[256];
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        const int count = read_(buffer, kReadSliceMs);
        if (count < 0) {
            // A printer gone (switched off, unplugged) comes back with automatic
            // status back off: its last block says nothing any more.
            automaticStatus_ = false;
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, kGonePause, [&] { return stopping_; });
            continue;
        }
        if (count == 0) continue;
        int report;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            report = SortLocked(buffer, count);
        }
        changed_.notify_all();
        if (report >= 0) Report(report);
    }
}

int PrinterLink::SortLocked(const char* bytes, int count) {
    for (const Reply& reply : sorter_.Feed(bytes, static_cast<size_t>(count))) {
        switch (reply.kind) {
            case ReplyKind::kStatusBlock:
                blocks_.push_back(reply);
                if (blocks_.size() > kMaxBlocks) blocks_.pop_front();
                state_ = StateFromStatusBlock(reply.bytes);
                break;
            case ReplyKind::kRealTime:
                realTime_.push_back(reply.bytes[0]);
                if (realTime_.size() > kMaxRealTime) realTime_.pop_front();
                break;
            case ReplyKind::kProcessId: {
                auto waiting = waiting_.find(reply.id);
                if (waiting != waiting_.end()) waiting->second = true;
                break;
            }
            default:  // GS r answers (no call of the library asks for them) and stray bytes
                break;
        }
    }
    const int state = state_.load();
    if (state < 0 || state == reported_) return -1;
    reported_ = state;
    return state;
}

void PrinterLink::Report(int state) {
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    if (callback_ != nullptr) callback_(handle_, state, userData_);
}

bool PrinterLink::BeginDeviceRead() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return false;
    ++deviceReads_;
    return true;
}

bool PrinterLink::EndDeviceRead(const char* bytes, int count) {
    int report = -1;
    bool taken = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --deviceReads_;
        if (running_ && count > 0) {
            report = SortLocked(bytes, count);
            taken = true;
        }
    }
    changed_.notify_all();
    if (report >= 0) Report(report);
    return taken;
}

int PrinterLink::TakeStatusBlocks(char* buffer, int waitMs, const std::atomic<bool>* stop) {
    const Clock::time_point deadline = Clock::now() + Millis(waitMs);
    std::unique_lock<std::mutex> lock(mutex_);
    while (blocks_.empty()) {
        const Clock::time_point now = Clock::now();
        if (StopRequested(stop) || now >= deadline) return 0;
        // In slices: the stop flag is set without a notification.
        changed_.wait_for(lock, std::min<Clock::duration>(deadline - now, Millis(kReadSliceMs)));
    }
    int count = 0;
    for (const Reply& block : blocks_) {
        std::memcpy(buffer + count, block.bytes, 4);
        count += 4;
    }
    blocks_.clear();
    return count;
}

void PrinterLink::NoteStatusBlock(const char* block) {
    const int state = StateFromStatusBlock(reinterpret_cast<const uint8_t*>(block));
    if (state >= 0) state_ = state;
}

int PrinterLink::LatestState(bool statusThreadReads) const {
    const bool fresh = statusThreadReads || (automaticStatus_ && [&] {
                           std::lock_guard<std::mutex> lock(mutex_);
                           return running_;
                       }());
    return fresh ? state_.load() : -1;
}

bool PrinterLink::WriteAll(const std::string& bytes) {
    return write_(bytes) == static_cast<int>(bytes.size());
}

int PrinterLink::QueryState(int timeoutMs) {
    Start();
    std::lock_guard<std::mutex> query(queryMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        realTime_.clear();  // answers to an earlier query that came too late
    }
    if (!WriteAll(RealTimeStatusRequests())) return -1;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, Millis(timeoutMs), [&] { return realTime_.size() >= 4; })) {
        lastError_ = ETIMEDOUT;
        return -1;
    }
    uint8_t replies[4];
    for (uint8_t& reply : replies) {
        reply = realTime_.front();
        realTime_.pop_front();
    }
    return StateFromRealTime(replies);
}

void PrinterLink::SetCallback(void* handle, KESTO_PrinterStateCallback callback, void* userData) {
    std::lock_guard<std::recursive_mutex> calling(callbackMutex_);
    callback_ = callback;
    handle_ = handle;
    userData_ = userData;
    std::lock_guard<std::mutex> lock(mutex_);
    reported_ = -1;  // a new callback hears the state at the next block
}

bool PrinterLink::WaitPrinted(int timeoutMs) {
    Start();
    const int id = static_cast<int>(nextId_.fetch_add(1) % 10000u);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_[id] = false;
    }
    const bool sent = WriteAll(ProcessIdRequest(id));
    std::unique_lock<std::mutex> lock(mutex_);
    const bool confirmed =
        sent && changed_.wait_for(lock, Millis(std::max(timeoutMs, 0)), [&] { return waiting_[id]; });
    waiting_.erase(id);
    if (sent && !confirmed) lastError_ = ETIMEDOUT;
    return confirmed;
}

}  // namespace kesto
