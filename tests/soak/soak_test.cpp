// Soak: eight host threads print through two device handles (four each) to two
// loopback printers for KESTO_SOAK_SECONDS (default 30), while the status
// thread polls the first printer and that printer opens and closes its cover
// every 200 ms.
//
// The run is cut into rounds of about 1 MiB per printer. After each round the
// writers rest, every byte is checked: each payload (unique: thread and
// sequence number) arrived exactly once, whole and contiguous, each thread's
// payloads in the order it sent them, and nothing else arrived beyond the
// known command bytes. At the end every cover change must have reached the
// callback in order, and open descriptors and resident memory must not have
// grown since the warm-up.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_tcp_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;
using kesto::test::FakeTcpPrinter;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr int kWritersPerPrinter = 4;
constexpr int kPrinters = 2;
constexpr int kWriters = kWritersPerPrinter * kPrinters;
constexpr uint64_t kRoundBudget = 1 << 20;  // bytes per printer and round
constexpr auto kRoundLimit = Millis(2000);
// Every fourth round the printers stop reading for a while, long enough for
// the socket buffers to fill: writes then block and go out in pieces.
constexpr int kStallEvery = 4;
constexpr uint64_t kStallBudget = 6 << 20;
constexpr auto kStallLimit = Millis(8000);
constexpr auto kStallTime = Millis(1500);
constexpr auto kCoverPeriod = Millis(200);
constexpr long kRssMarginKiB = 8 * 1024;
constexpr size_t kHugeBody = 2 << 20;
// Above the most a round can bring: the budget, one huge payload and what the
// other writers had under way when the budget was reached.
constexpr size_t kLargestRound = 12 << 20;
constexpr int kBarcodeCode128 = 265;
constexpr int kBarcodeQr = 272;

// "<<SOAK" thread "." sequence "." body length ":" body ">>"
const std::string kMarker = "<<SOAK";
constexpr size_t kHeaderLength = 6 + 1 + 1 + 9 + 1 + 6 + 1;
constexpr size_t kTrailerLength = 2;

int SoakSeconds() {
    const char* text = std::getenv("KESTO_SOAK_SECONDS");
    if (text == nullptr || *text == '\0') return 30;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value < 1000000 ? static_cast<int>(value) : 30;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Body bytes of one payload, a function of the writer and the sequence number
// only, so that the checker can rebuild every payload it finds.
void MakePayload(int writer, uint64_t sequence, size_t bodyLength, std::string& out) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    char header[kHeaderLength + 1];
    std::snprintf(header, sizeof header, "<<SOAK%d.%09llu.%06zu:", writer,
                  static_cast<unsigned long long>(sequence % 1000000000ULL), bodyLength);
    out.assign(header, kHeaderLength);
    uint64_t state = (static_cast<uint64_t>(writer) << 56) ^ sequence ^ 0x9E3779B97F4A7C15ULL;
    for (size_t i = 0; i < bodyLength; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        out.push_back(kAlphabet[state % 36]);
    }
    out.append(">>");
}

// The status codes the callback saw, apart from "nothing to report".
struct StatusLog {
    std::mutex mutex;
    std::vector<int> codes;
    std::atomic<uint64_t> calls{0};
};
StatusLog g_status;

int RecordStatus(int code) {
    g_status.calls.fetch_add(1);
    if (code != 0) {
        std::lock_guard<std::mutex> guard(g_status.mutex);
        g_status.codes.push_back(code);
    }
    return 0;
}

size_t StatusCodesSeen() {
    std::lock_guard<std::mutex> guard(g_status.mutex);
    return g_status.codes.size();
}

// Lets the writers run one round at a time; the main thread checks in between.
class RoundGate {
public:
    // A writer waits for the round after `seen`; false once the soak is over.
    bool WaitForRound(uint64_t& seen, uint64_t& budget, Clock::time_point& deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return finished_ || round_ != seen; });
        if (finished_) return false;
        seen = round_;
        budget = budget_;
        deadline = deadline_;
        return true;
    }
    void Done() {
        std::lock_guard<std::mutex> guard(mutex_);
        ++done_;
        changed_.notify_all();
    }
    void Start(uint64_t budget, Millis limit) {
        std::lock_guard<std::mutex> guard(mutex_);
        done_ = 0;
        budget_ = budget;
        deadline_ = Clock::now() + limit;
        ++round_;
        changed_.notify_all();
    }
    void WaitUntilAllDone() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_ == kWriters; });
    }
    void Finish() {
        std::lock_guard<std::mutex> guard(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t round_ = 0;
    int done_ = 0;
    bool finished_ = false;
    uint64_t budget_ = 0;
    Clock::time_point deadline_{};
};

struct Overheads {
    uint64_t code128 = 0;  // bytes a CODE128 barcode sends besides its data
    uint64_t qr = 0;
};

kesto::test::FakeTcpPrinterOptions SmallReceiveBuffer() {
    kesto::test::FakeTcpPrinterOptions options;
    options.receiveBufferBytes = 16 * 1024;
    return options;
}

// One printer and the handle the writers share for it.
struct Stream {
    // A small receive buffer, as a printer has: large writes then go out in
    // several sends, which other threads' writes must not get between.
    FakeTcpPrinter printer{SmallReceiveBuffer()};
    void* handle = nullptr;
    std::atomic<uint64_t> roundBytes{0};  // bytes the writers sent this round
    std::atomic<bool> hugeSent{false};    // this round's huge payload
    uint64_t totalBytes = 0;              // verified so far
    uint64_t totalPayloads = 0;
};

class Writer {
public:
    Writer(int id, Stream& stream, const Overheads& overheads)
        : id_(id), stream_(stream), overheads_(overheads), random_(static_cast<unsigned>(id) * 7919u + 1u) {
        lengths_.reserve(1 << 16);
        // Touched once, so that the first huge payload does not count as growth.
        payload_.assign(kHugeBody + 64, 'x');
        payload_.clear();
    }

    int id() const { return id_; }
    Stream& stream() { return stream_; }
    uint64_t firstSequence() const { return firstSequence_; }
    const std::vector<uint32_t>& lengths() const { return lengths_; }
    uint64_t operations() const { return operations_; }
    const std::string& failure() const { return failure_; }

    void Run(RoundGate& gate) {
        uint64_t round = 0;
        uint64_t budget = 0;
        Clock::time_point deadline;
        while (gate.WaitForRound(round, budget, deadline)) {
            budget_ = budget;
            firstSequence_ = nextSequence_;
            lengths_.clear();
            while (stream_.roundBytes.load() < budget && Clock::now() < deadline) OneOperation();
            gate.Done();
        }
    }

private:
    void Fail(const char* call, int result, int expected) {
        if (!failure_.empty()) return;
        failure_ = std::string(call) + " returned " + std::to_string(result) + ", expected " +
                   std::to_string(expected) + " (writer " + std::to_string(id_) + ")";
    }
    void Count(uint64_t bytes) { stream_.roundBytes.fetch_add(bytes); }

    size_t Pick(size_t low, size_t high) { return std::uniform_int_distribution<size_t>(low, high)(random_); }

    // Builds the next payload with a body of the given length and notes it.
    const std::string& NextPayload(size_t bodyLength) {
        MakePayload(id_, nextSequence_++, bodyLength, payload_);
        lengths_.push_back(static_cast<uint32_t>(bodyLength));
        return payload_;
    }

    void OneOperation() {
        ++operations_;
        void* const h = stream_.handle;
        const size_t choice = Pick(0, 19);
        if (choice < 6) {
            // Text: three writes; only the middle one carries the payload.
            const std::string& p = NextPayload(Pick(0, 9) == 0 ? Pick(4096, 12000) : Pick(8, 1500));
            const int size = static_cast<int>(p.size());
            const int result = KESTO_PrintText(h, p.data(), size, false);
            if (result != size + 8) Fail("KESTO_PrintText", result, size + 8);
            Count(3 + static_cast<uint64_t>(size) + 8 + 3);
        } else if (choice < 12) {
            // Raw data; now and then larger than a third of the socket's send
            // buffer (4 MiB on Linux), which fills up while a printer stalls:
            // such a write goes out in several sends.
            // One huge payload per printer and round, once a third of the round's
            // bytes are out (in a stalled round the buffer is filling up then).
            const size_t pick = Pick(0, 999);
            size_t body = Pick(0, 512);
            if (pick < 100 && stream_.roundBytes.load() >= budget_ / 3 && !stream_.hugeSent.exchange(true)) {
                body = Pick(kHugeBody / 4 * 3, kHugeBody);
            } else if (pick < 130) {
                body = Pick(32 * 1024, 128 * 1024);
            } else if (pick < 250) {
                body = Pick(512, 8192);
            }
            const std::string& p = NextPayload(body);
            const int size = static_cast<int>(p.size());
            const int result = KESTO_WriteData(h, p.data(), size);
            if (result != size) Fail("KESTO_WriteData", result, size);
            Count(static_cast<uint64_t>(size));
        } else if (choice < 16) {
            FormattingCommands(h);
        } else if (choice < 18) {
            const std::string& p = NextPayload(Pick(0, 255 - kHeaderLength - kTrailerLength));
            const int result = KESTO_PrintBarcode(h, kBarcodeCode128, p.data(), static_cast<int>(p.size()));
            if (result != 0) Fail("KESTO_PrintBarcode CODE128", result, 0);
            Count(overheads_.code128 + p.size());
        } else if (choice < 19) {
            const std::string& p = NextPayload(Pick(0, 2000));
            const int result = KESTO_PrintBarcode(h, kBarcodeQr, p.data(), static_cast<int>(p.size()));
            if (result != 0) Fail("KESTO_PrintBarcode QR", result, 0);
            Count(overheads_.qr + p.size());
        } else {
            const int result = KESTO_FeedAndCutPaper(h);
            if (result != 4) Fail("KESTO_FeedAndCutPaper", result, 4);
            Count(4);
        }
    }

    // A few formatting commands; each is one write of its own length.
    void FormattingCommands(void* h) {
        struct Command {
            const char* name;
            int length;
            int (*call)(void*, int);
        };
        static const Command kCommands[] = {
            {"SelectCharFontABold", 3, [](void* d, int) { return SelectCharFontABold(d); }},
            {"TurnBoldON", 3, [](void* d, int) { return TurnBoldON(d); }},
            {"TurnBoldOFF", 3, [](void* d, int) { return TurnBoldOFF(d); }},
            {"SetCenterAllign", 3, [](void* d, int) { return SetCenterAllign(d); }},
            {"SetLeftAllign", 3, [](void* d, int) { return SetLeftAllign(d); }},
            {"SelectCharSizeHeight2", 3, [](void* d, int) { return SelectCharSizeHeight2(d); }},
            {"SelectCharSizeNormal", 3, [](void* d, int) { return SelectCharSizeNormal(d); }},
            {"TurnUnderlineONThin", 3, [](void* d, int) { return TurnUnderlineONThin(d); }},
            {"TurnUnderlineOFF", 3, [](void* d, int) { return TurnUnderlineOFF(d); }},
            {"LineFeed", 1, [](void* d, int) { return LineFeed(d); }},
            {"SetLeftMargin", 4, [](void* d, int n) { return SetLeftMargin(d, n); }},
            {"SelectCharSize", 3, [](void* d, int n) { return SelectCharSize(d, n & 0x11); }},
            {"PrintNFeedNLines", 3, [](void* d, int n) { return PrintNFeedNLines(d, n & 3); }},
            {"SetLinSpacing", 3, [](void* d, int n) { return SetLinSpacing(d, n); }},
        };
        constexpr size_t kCount = sizeof kCommands / sizeof kCommands[0];
        const size_t count = Pick(1, 4);
        for (size_t i = 0; i < count; ++i) {
            const Command& command = kCommands[Pick(0, kCount - 1)];
            const int result = command.call(h, static_cast<int>(Pick(0, 300)));
            if (result != command.length) Fail(command.name, result, command.length);
            Count(static_cast<uint64_t>(command.length));
        }
    }

    const int id_;
    Stream& stream_;
    const Overheads& overheads_;
    std::mt19937 random_;
    uint64_t budget_ = 0;
    uint64_t nextSequence_ = 0;
    uint64_t firstSequence_ = 0;
    uint64_t operations_ = 0;
    std::vector<uint32_t> lengths_;  // body lengths of this round's payloads
    std::string payload_;
    std::string failure_;
};

// Waits until the stream received ends with `tail` (a marker written last).
bool WaitForTail(FakeTcpPrinter& printer, const std::string& tail, std::string& received) {
    const auto end = Clock::now() + Millis(10000);
    for (;;) {
        received = printer.Received();
        if (received.size() >= tail.size() &&
            received.compare(received.size() - tail.size(), tail.size(), tail) == 0)
            return true;
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(Millis(10));
    }
}

// What a barcode of the given type sends besides its data, measured once on a quiet printer.
uint64_t MeasureBarcodeOverhead(Stream& stream, int type) {
    const std::string data = "<<CALIBRATE-0123456789>>";
    const std::string tail = "<<CALIBRATED>>";
    stream.printer.ClearReceived();
    EXPECT_EQ(KESTO_PrintBarcode(stream.handle, type, data.data(), static_cast<int>(data.size())), 0);
    EXPECT_EQ(KESTO_WriteData(stream.handle, tail.data(), static_cast<int>(tail.size())),
              static_cast<int>(tail.size()));
    std::string received;
    if (!WaitForTail(stream.printer, tail, received)) {
        ADD_FAILURE() << "calibration bytes of barcode type " << type << " did not arrive";
        return 0;
    }
    stream.printer.ClearReceived();
    EXPECT_NE(received.find(data), std::string::npos);
    EXPECT_GT(received.size(), data.size() + tail.size());
    return received.size() - data.size() - tail.size();
}

// Checks one round of one printer; empty when every byte is accounted for.
std::string VerifyRound(Stream& stream, std::vector<Writer*>& writers, std::string& scratch) {
    const uint64_t expected = stream.roundBytes.load();
    stream.printer.WaitForBytes(expected, Millis(30000));
    const std::string received = stream.printer.Received();
    stream.printer.ClearReceived();
    if (received.size() != expected) {
        return "expected " + std::to_string(expected) + " bytes, received " + std::to_string(received.size());
    }

    std::vector<size_t> found(kWriters, 0);
    for (size_t at = received.find(kMarker); at != std::string::npos; at = received.find(kMarker, at)) {
        if (received.size() - at < kHeaderLength) return "cut header at offset " + std::to_string(at);
        const int id = received[at + 6] - '0';
        Writer* writer = nullptr;
        for (Writer* w : writers) {
            if (w->id() == id && &w->stream() == &stream) writer = w;
        }
        if (writer == nullptr) return "payload of unknown writer at offset " + std::to_string(at);
        const size_t index = found[id]++;
        if (index >= writer->lengths().size()) {
            return "writer " + std::to_string(id) + ": more payloads than sent (duplicate?) at offset " +
                   std::to_string(at);
        }
        MakePayload(id, writer->firstSequence() + index, writer->lengths()[index], scratch);
        if (received.compare(at, scratch.size(), scratch) != 0) {
            return "writer " + std::to_string(id) + ": payload " +
                   std::to_string(writer->firstSequence() + index) + " not found whole at offset " +
                   std::to_string(at) + " (lost, reordered or interleaved)";
        }
        at += scratch.size();
        stream.totalPayloads++;
    }
    for (Writer* w : writers) {
        if (&w->stream() != &stream) continue;
        if (found[w->id()] != w->lengths().size()) {
            return "writer " + std::to_string(w->id()) + ": " + std::to_string(found[w->id()]) + " of " +
                   std::to_string(w->lengths().size()) + " payloads arrived";
        }
    }
    stream.totalBytes += received.size();
    return std::string();
}

// Opens and closes the cover of a printer every period; remembers the codes it caused.
class CoverToggler {
public:
    explicit CoverToggler(FakeTcpPrinter& printer) : printer_(printer) {
        sent_.reserve(1 << 16);
        thread_ = std::thread([this] { Run(); });
    }
    ~CoverToggler() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    const std::vector<int>& sent() const { return sent_; }  // after Stop

private:
    // A read that finds several blocks reports only the newest, by design: a
    // backlog built up while the status thread stood back for printing
    // collapses to the printer's current state. So the next change goes out
    // only once the previous one was reported; a change that never is stalls
    // the toggling, and the count at the end shows it.
    void Run() {
        bool open = true;
        while (!stop_) {
            for (auto slept = Millis(0); slept < kCoverPeriod && !stop_; slept += Millis(10))
                std::this_thread::sleep_for(Millis(10));
            while (!stop_ && StatusCodesSeen() < sent_.size()) std::this_thread::sleep_for(Millis(10));
            if (stop_) break;
            const std::vector<unsigned char> block{static_cast<unsigned char>(open ? 0x30 : 0x10), 0, 0, 0};
            if (printer_.SendStatus(block, Millis(2000))) {
                sent_.push_back(open ? 7 : 9);
                open = !open;
            }
        }
    }

    FakeTcpPrinter& printer_;
    std::atomic<bool> stop_{false};
    std::vector<int> sent_;
    std::thread thread_;
};

void* CreateHandle(const FakeTcpPrinter& printer) {
    std::string description = "<device><type>ETH</type><path>" + printer.Path() + "</path></device>";
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

TEST(Soak, EightThreadsTwoPrintersWhileTheCoverToggles) {
    const int seconds = SoakSeconds();
    const auto warmUp = Millis(std::min(std::max(seconds * 100, 3000), std::min(30000, seconds * 500)));
    const std::string asb("\x1D\x61\x0F\x00", 4);
    // Large blocks of the checker (a round's bytes are copied whole) go back to
    // the system when freed, so that resident memory measures the library.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    {
        std::lock_guard<std::mutex> guard(g_status.mutex);
        g_status.codes.reserve(1 << 16);
    }

    Stream streams[kPrinters];
    const int descriptorsBefore = kesto::test::CountOpenDescriptors();
    for (Stream& s : streams) {
        s.handle = CreateHandle(s.printer);
        ASSERT_NE(s.handle, nullptr);
    }
    Stream& polled = streams[0];
    ASSERT_EQ(KESTO_OnPrinterError(polled.handle, RecordStatus), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(polled.handle), 1);
    ASSERT_TRUE(polled.printer.WaitForBytes(asb.size()));
    ASSERT_EQ(polled.printer.Received(), asb);
    polled.printer.ClearReceived();

    Overheads overheads;
    overheads.code128 = MeasureBarcodeOverhead(streams[1], kBarcodeCode128);
    overheads.qr = MeasureBarcodeOverhead(streams[1], kBarcodeQr);
    ASSERT_FALSE(::testing::Test::HasFailure());
    // The recording of each printer grows once to more than a round can hold,
    // so that its growth does not count as the library's.
    for (Stream& s : streams) {
        const std::string filler(kLargestRound, '.');
        ASSERT_EQ(KESTO_WriteData(s.handle, filler.data(), static_cast<int>(filler.size())),
                  static_cast<int>(filler.size()));
        ASSERT_TRUE(s.printer.WaitForBytes(filler.size(), Millis(30000)));
        ASSERT_EQ(s.printer.ReceivedSize(), filler.size());
        s.printer.ClearReceived();
    }

    std::vector<std::unique_ptr<Writer>> writers;
    std::vector<Writer*> writerList;
    for (int id = 0; id < kWriters; ++id) {
        writers.push_back(std::make_unique<Writer>(id, streams[id / kWritersPerPrinter], overheads));
        writerList.push_back(writers.back().get());
    }
    RoundGate gate;
    std::vector<std::thread> threads;
    for (auto& w : writers) threads.emplace_back([&gate, &w] { w->Run(gate); });
    CoverToggler cover(polled.printer);

    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    long rssStart = -1;
    int descriptorsStart = -1;
    uint64_t rounds = 0;
    std::string failure;
    std::string scratch(kHugeBody + 64, 'x');  // touched now, not during the run
    while (failure.empty() && Clock::now() < end) {
        for (Stream& s : streams) {
            s.roundBytes = 0;
            s.hugeSent = false;
        }
        const bool stall = rounds % kStallEvery == kStallEvery - 1;
        if (stall) {
            for (Stream& s : streams) s.printer.StopReading();
            gate.Start(kStallBudget, kStallLimit);
            std::this_thread::sleep_for(kStallTime);
            for (Stream& s : streams) s.printer.ResumeReading();
        } else {
            gate.Start(kRoundBudget, kRoundLimit);
        }
        gate.WaitUntilAllDone();
        ++rounds;
        for (auto& w : writers) {
            if (!w->failure().empty()) failure = w->failure();
        }
        for (size_t i = 0; i < kPrinters && failure.empty(); ++i) {
            const std::string problem = VerifyRound(streams[i], writerList, scratch);
            if (!problem.empty())
                failure =
                    "printer " + std::to_string(i) + ", round " + std::to_string(rounds) + ": " + problem;
        }
        // The log of a long run would fill the disk; the library reopens it per entry.
        kesto::test::ClearLog();
        if (rssStart < 0 && Clock::now() - start >= warmUp && rounds >= 2 * kStallEvery) {
            rssStart = ResidentKiB();
            descriptorsStart = kesto::test::CountOpenDescriptors();
        }
    }
    const long rssEnd = ResidentKiB();
    const int descriptorsEnd = kesto::test::CountOpenDescriptors();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    gate.Finish();
    for (std::thread& t : threads) t.join();
    cover.Stop();

    // Every cover change the printer sent reaches the callback, in order.
    const std::vector<int>& sent = cover.sent();
    const auto statusEnd = Clock::now() + Millis(15000);
    while (StatusCodesSeen() < sent.size() && Clock::now() < statusEnd)
        std::this_thread::sleep_for(Millis(10));
    KESTO_DestroyStatusThread(polled.handle);
    std::vector<int> seen;
    {
        std::lock_guard<std::mutex> guard(g_status.mutex);
        seen = g_status.codes;
    }

    for (Stream& s : streams) {
        EXPECT_EQ(KESTO_DestroyDevicePointer(s.handle), 1);
        EXPECT_TRUE(s.printer.WaitForClientClose());
    }
    const int descriptorsAfter = kesto::test::CountOpenDescriptors();

    uint64_t operations = 0;
    for (auto& w : writers) operations += w->operations();
    std::printf("soak: %.1f s, %llu rounds, %llu operations\n", elapsed,
                static_cast<unsigned long long>(rounds), static_cast<unsigned long long>(operations));
    for (size_t i = 0; i < kPrinters; ++i) {
        std::printf("soak: printer %zu: %llu bytes verified, %llu payloads verified\n", i,
                    static_cast<unsigned long long>(streams[i].totalBytes),
                    static_cast<unsigned long long>(streams[i].totalPayloads));
    }
    std::printf("soak: cover changes sent %zu, seen %zu; status callback calls %llu\n", sent.size(),
                seen.size(), static_cast<unsigned long long>(g_status.calls.load()));
    std::printf("soak: descriptors %d before handles, %d at start, %d at end, %d after handles\n",
                descriptorsBefore, descriptorsStart, descriptorsEnd, descriptorsAfter);
    std::printf("soak: VmRSS %ld KiB at start, %ld KiB at end\n", rssStart, rssEnd);
    std::fflush(stdout);

    EXPECT_EQ(failure, "");
    EXPECT_GT(rounds, 1u);
    EXPECT_GT(streams[0].totalPayloads, 0u);
    EXPECT_GT(streams[1].totalPayloads, 0u);
    EXPECT_GE(sent.size(), 2u);
    EXPECT_EQ(seen, sent);
    ASSERT_GE(rssStart, 0) << "the run ended before the warm-up did";
    EXPECT_EQ(descriptorsEnd, descriptorsStart);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    // Sanitizers keep freed memory in quarantine and shadow it: resident memory says nothing there.
    if (!kSanitized) {
        EXPECT_LT(rssEnd - rssStart, kRssMarginKiB);
    }
}

}  // namespace
