// Soak, run on demand (label soak): four threads write numbered payloads through
// one handle while the status thread polls the same printer, whose cover opens
// and closes. Every payload arrives whole, once and in its writer's order, and
// every cover change reaches the callback in order. KESTO_SOAK_SECONDS sets the
// length (default 10); the writers stop early after 64 MiB in all.
#include <thread>

#include "fixtures/fake_tcp_printer.h"
#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

std::string Payload(int writer, int n) {
    return "<" + std::to_string(writer) + "." + std::to_string(n) + ":" +
           std::string(static_cast<size_t>(n) * 37 % 500, static_cast<char>('a' + writer)) + ">";
}

TEST(Soak, FourWritersAndTheStatusThreadShareOnePrinterWhileItsCoverToggles) {
    const char* seconds = std::getenv("KESTO_SOAK_SECONDS");
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 10);
    kesto::test::FakeTcpPrinter printer;
    Handle handle = Open(printer.Path());
    ASSERT_EQ(KESTO_OnPrinterError(handle.get(), RecordCode), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(handle.get()), 1);
    std::vector<int> sent(4, 0);
    std::atomic<size_t> bytes{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (; bytes < (64u << 20) && std::chrono::steady_clock::now() < end; ++sent[w]) {
                const std::string p = Payload(w, sent[w]);
                failures += KESTO_WriteData(handle.get(), p.data(), static_cast<int>(p.size())) !=
                            static_cast<int>(p.size());
                bytes += p.size();
            }
        });
    std::vector<int> toggled;
    for (bool open = true; std::chrono::steady_clock::now() < end; open = !open) {
        if (!printer.SendStatus({static_cast<unsigned char>(open ? 0x30 : 0x10), 0, 0, 0})) break;
        toggled.push_back(open ? 7 : 9);
        if (!kesto::test::WaitUntil([&] { return Codes().size() == toggled.size(); })) break;
    }
    for (std::thread& t : writers) t.join();
    KESTO_DestroyStatusThread(handle.get());
    EXPECT_EQ(Codes(), toggled);
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(printer.WaitForBytes(bytes, std::chrono::seconds(60)));
    handle.reset();
    const std::string got = printer.Received();
    std::vector<int> arrived(4, 0);
    for (size_t at = got.find('<'); at != std::string::npos; at = got.find('<', at)) {
        const int w = got[at + 1] - '0';
        ASSERT_TRUE(w >= 0 && w < 4) << "at " << at;
        const std::string p = Payload(w, arrived[w]++);
        ASSERT_EQ(got.compare(at, p.size(), p), 0) << "writer " << w << ", payload " << arrived[w] - 1;
        at += p.size();
    }
    EXPECT_EQ(arrived, sent);
}

}  // namespace
}  // namespace kesto::vprinter::test
