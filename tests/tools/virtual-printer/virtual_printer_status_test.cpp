// Status replies of the virtual printer over TCP: automatic status blocks after
// GS a and on every change of the simulated condition, DLE EOT answers, the
// control port, a printer that stays up from one connection to the next, and
// the program finishing its receipts when it is told to stop.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "server.h"
#include "virtual_printer.h"
#include "virtual_printer_helpers.h"

namespace kesto::vprinter {
namespace {

using test::Gs;

// The checks a status-block decoder makes on the fixed bits.
bool FixedBitsValid(const std::vector<uint8_t>& b) {
    return b.size() == 4 && (b[0] & 0x93) == 0x10 && (b[1] & 0x90) == 0 && (b[2] & 0xF0) == 0;
}

TEST(VirtualPrinterStatus, EveryBlockKeepsTheFixedBitsAndReportsTheCondition) {
    for (int bits = 0; bits < 32; ++bits) {
        Condition c;
        c.cover_open = bits & 1;
        c.paper_near_end = bits & 2;
        c.paper_end = bits & 4;
        c.drawer_high = bits & 8;
        c.offline = bits & 16;
        std::vector<uint8_t> b = StatusBlock(c);
        ASSERT_TRUE(FixedBitsValid(b)) << bits;
        EXPECT_EQ((b[0] & 0x20) != 0, c.cover_open);
        EXPECT_EQ((b[0] & 0x04) != 0, c.drawer_high);
        EXPECT_EQ((b[2] & 0x03) == 0x03, c.paper_near_end);
        EXPECT_EQ((b[2] & 0x0C) == 0x0C, c.paper_end);
        EXPECT_EQ(b[3], 0);
        for (int n = 1; n <= 4; ++n) {
            uint8_t v = 0;
            ASSERT_TRUE(RealTimeStatus(c, n, &v));
            EXPECT_EQ(v & 0x93, 0x12) << "DLE EOT " << n;
        }
    }
    uint8_t v = 0;
    EXPECT_FALSE(RealTimeStatus(Condition{}, 5, &v));
}

class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { Close(); }
    bool connected() const { return connected_; }
    void Send(const std::string& s) {
        ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size()));
    }
    // Reads exactly n bytes, waiting at most a generous 5 s.
    std::vector<uint8_t> Read(size_t n) {
        std::vector<uint8_t> out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            uint8_t buf[16];
            ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

ServerOptions TestOptions() {
    ServerOptions o;
    o.port = 0;
    o.control_port = 0;
    o.echo = false;
    return o;
}

TEST(VirtualPrinterStatus, AutomaticStatusFollowsTheCoverOverTcp) {
    Server server(TestOptions());
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ASSERT_GT(server.port(), 0);
    Client c(server.port());
    ASSERT_TRUE(c.connected());

    // Before GS a the printer sends nothing of its own: the first byte to
    // arrive is the answer to DLE EOT.
    EXPECT_EQ(server.Control("drawer-open").rfind("ok", 0), 0u);
    c.Send(std::string("\x10\x04\x01", 3));
    EXPECT_EQ(c.Read(1), std::vector<uint8_t>{0x16});

    c.Send(std::string("\x1D\x61\x0F\x00", 4));  // as the status thread sends it
    std::vector<uint8_t> first = c.Read(4);
    EXPECT_EQ(first, (std::vector<uint8_t>{0x14, 0x00, 0x00, 0x00}));

    server.Control("cover-open");
    std::vector<uint8_t> open = c.Read(4);
    ASSERT_TRUE(FixedBitsValid(open));
    EXPECT_EQ(open[0] & 0x20, 0x20);

    server.Control("cover-close");
    std::vector<uint8_t> closed = c.Read(4);
    ASSERT_TRUE(FixedBitsValid(closed));
    EXPECT_EQ(closed[0] & 0x20, 0);

    server.Control("paper-end");
    std::vector<uint8_t> end = c.Read(4);
    ASSERT_TRUE(FixedBitsValid(end));
    EXPECT_EQ(end[2], 0x0F);
    c.Send(std::string("\x10\x04\x04", 3));
    EXPECT_EQ(c.Read(1), std::vector<uint8_t>{0x7E});

    // GS a 0 stops the blocks: the next byte is again a DLE EOT answer.
    c.Send(std::string("\x1D\x61\x00", 3) + std::string("\x10\x04\x01", 3));
    EXPECT_EQ(c.Read(1), std::vector<uint8_t>{0x1E});  // GS a 0 has been taken: drawer high, off-line
    server.Control("paper-ok");
    server.Control("cover-open");
    c.Send(std::string("\x10\x04\x02", 3));
    EXPECT_EQ(c.Read(1), std::vector<uint8_t>{0x16});
}

TEST(VirtualPrinterStatus, ControlPortAnswersAndDrawerKickRaisesThePin) {
    Server server(TestOptions());
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    std::string reply;
    ASSERT_TRUE(SendControl("127.0.0.1", server.control_port(), "status", &reply, &error)) << error;
    EXPECT_EQ(reply, "ok cover=closed paper=ok drawer=low online asb=0x00 receipts=0");
    ASSERT_TRUE(SendControl("127.0.0.1", server.control_port(), "paper-near-end", &reply, &error)) << error;
    EXPECT_EQ(reply, "ok cover=closed paper=near-end drawer=low online asb=0x00 receipts=0");
    ASSERT_TRUE(SendControl("127.0.0.1", server.control_port(), "jam", &reply, &error)) << error;
    EXPECT_EQ(reply.rfind("error unknown command 'jam'", 0), 0u) << reply;

    Client c(server.port());
    ASSERT_TRUE(c.connected());
    c.Send(Gs('a', {0x01}));
    EXPECT_EQ(c.Read(4), (std::vector<uint8_t>{0x10, 0x00, 0x03, 0x00}));
    c.Send(std::string("\x1Bp\x00\x19\xFA", 5));
    EXPECT_EQ(c.Read(4), (std::vector<uint8_t>{0x14, 0x00, 0x03, 0x00}));
}

TEST(VirtualPrinterStatus, StaysUpAcrossConnectionsAndWritesEachReceipt) {
    char dir[] = "/tmp/vprinter-srv-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ServerOptions o = TestOptions();
    o.out_dir = dir;
    Server server(o);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    {
        Client c(server.port());
        ASSERT_TRUE(c.connected());
        c.Send("first\n" + Gs('V', {1}) + "second\n");
    }
    {
        Client c(server.port());
        ASSERT_TRUE(c.connected());
        c.Send("third\n");
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    size_t count = 0;
    while ((count = server.WithPrinter([](VirtualPrinter& p) { return p.receipts().size(); })) < 3 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(count, 3u);
    auto texts = server.WithPrinter([](VirtualPrinter& p) {
        std::vector<std::string> t;
        for (const auto& r : p.receipts()) t.push_back(r.LineTexts().at(0));
        return t;
    });
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second", "third"}));
    server.Stop();
    for (int n = 1; n <= 3; ++n) {
        std::string base = std::string(dir) + "/receipt-" + std::to_string(n);
        EXPECT_EQ(test::ReadPng(base + ".png").width, 576) << base;
        EXPECT_EQ(::access((base + ".txt").c_str(), R_OK), 0) << base;
        unlink((base + ".png").c_str());
        unlink((base + ".txt").c_str());
    }
    rmdir(dir);
}

// Appends what `fd` delivers to `text` until it holds `until` (with "": until
// the end of file); false when that takes longer than a generous 30 s.
bool ReadUntil(int fd, std::string& text, const std::string& until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (until.empty() || text.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return until.empty();
        text.append(buf, static_cast<size_t>(n));
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// SIGTERM while a receipt is still arriving on an open connection and a second
// client waits behind it: the program renders both, then exits 0.
TEST(VirtualPrinterProcess, StopSignalFinishesEveryReceiptAlreadySent) {
    char dir[] = "/tmp/vprinter-stop-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::execl(KESTO_VIRTUAL_PRINTER, "kesto-virtual-printer", "--port", "0", "--out", dir,
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string output;
    int port = 0;
    ASSERT_TRUE(ReadUntil(out[0], output, "\n")) << output;
    ASSERT_EQ(std::sscanf(output.c_str(), "listening on 127.0.0.1:%d", &port), 1) << output;

    Client first(port), second(port);
    ASSERT_TRUE(first.connected() && second.connected());
    first.Send("first receipt\n");
    second.Send("second receipt\n");
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    const bool exited = ReadUntil(out[0], output, "");
    if (!exited) ::kill(pid, SIGKILL);
    int status = -1;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    ASSERT_TRUE(exited) << output;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const char* const texts[] = {"first receipt", "second receipt"};
    for (int n = 1; n <= 2; ++n) {
        const std::string base = std::string(dir) + "/receipt-" + std::to_string(n);
        EXPECT_EQ(test::ReadPng(base + ".png").width, 576) << output;
        EXPECT_NE(ReadFile(base + ".txt").find(texts[n - 1]), std::string::npos) << output;
        ::unlink((base + ".png").c_str());
        ::unlink((base + ".txt").c_str());
    }
    ::rmdir(dir);
}

}  // namespace
}  // namespace kesto::vprinter
