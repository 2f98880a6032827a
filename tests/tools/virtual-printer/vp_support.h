// Shared by the virtual printer and end-to-end tests: command bytes, ink on the
// paper, scanning a printed code back, the virtual printer serving a loopback
// port in this process, and programs run as child processes.
#pragma once

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>

#include "kesto/kesto.h"
#include "server.h"
#include "support/test_support.h"

namespace kesto::vprinter::test {

inline std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

inline int InkIn(const Bitmap& b, int x, int y, int w, int h) {
    int n = 0;
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx) n += b.Get(xx, yy);
    return n;
}

// A printed line's style and box, e.g. "B bold u2 rev 1x1 left 0 27x18" (x, width x height).
inline std::string Describe(const TextLine& l) {
    const TextStyle& s = l.style();
    char text[120];
    std::snprintf(text, sizeof text, "%s%s u%d%s %dx%d %s %d %dx%d", s.font == Font::kA ? "A" : "B",
                  s.bold ? " bold" : "", s.underline, s.reverse ? " rev" : "", s.width_mag, s.height_mag,
                  AlignName(l.align), l.x, l.width, l.height);
    return text;
}

// What a scanner looking for a code of `kind` (by default the symbol's own) reads
// from the paper under `s`, with white paper around it.
inline std::string Scan(const Bitmap& paper, const PrintedSymbol& s, std::string kind = "") {
    kind = kind.empty() ? s.kind : kind;
    const int border = 40, w = s.width + 2 * border, h = s.height + 2 * border;
    std::vector<uint8_t> lum(static_cast<size_t>(w) * h, 255);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if (paper.Get(s.x + x, s.y + y)) lum[static_cast<size_t>(y + border) * w + x + border] = 0;
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormatFromString(kind == "QR code" ? "QRCode" : kind));
    hints.setTryHarder(true);
    const ZXing::Result r =
        ZXing::ReadBarcode(ZXing::ImageView(lum.data(), w, h, ZXing::ImageFormat::Lum), hints);
    return r.isValid() ? r.text() : "<unreadable>";
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The virtual printer on a free loopback port of this process.
struct LocalPrinter {
    Server server;
    // A free port, no echo; options and the receive buffer as given.
    explicit LocalPrinter(PrinterOptions options = {}, size_t buffer = 4u << 20)
        : server(ServerOptions{"127.0.0.1", 0, -1, "", false, options, {}, buffer}) {
        std::string error;
        EXPECT_TRUE(server.Start(&error)) << error;
    }
    std::string Address() { return "127.0.0.1:" + std::to_string(server.port()); }
    // The finished receipts once there are at least `count`.
    std::vector<Receipt> Receipts(size_t count) {
        auto all = [&] { return server.WithPrinter([](VirtualPrinter& p) { return p.receipts(); }); };
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return all().size() >= count; })) << "receipts missing";
        return all();
    }
};

// A bare TCP connection to a printer port on this machine: the bytes a host
// sends and what the printer sends back.
struct RawClient {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    explicit RawClient(int port) {
        sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~RawClient() { ::close(fd); }
    void Send(const std::string& b) {
        EXPECT_EQ(::send(fd, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size()));
    }
    // The next `n` bytes the printer sent; fewer when a minute passes without them.
    std::string Read(size_t n) {
        std::string got(n, '\0');
        size_t have = 0;
        for (pollfd p{fd, POLLIN, 0}; have < n && ::poll(&p, 1, 60000) == 1;) {
            const ssize_t r = ::recv(fd, &got[have], n - have, 0);
            if (r <= 0) break;
            have += static_cast<size_t>(r);
        }
        return got.substr(0, have);
    }
};

// A device handle of the library for the network printer at `address`.
using Handle = std::unique_ptr<void, int (*)(void*)>;
inline Handle Open(const std::string& address) {
    std::string d = "<device><type>ETH</type><path>" + address + "</path></device>";
    return Handle(KESTO_CreateDevicePointer(&d[0], static_cast<int>(d.size())), KESTO_DestroyDevicePointer);
}

// The receipts `print` made through the library on a fresh printer, once its connection ended.
inline std::vector<Receipt> PrintOn(const std::function<void(void*)>& print, size_t count = 1) {
    LocalPrinter printer;
    Handle h = Open(printer.Address());
    print(h.get());
    h.reset();
    return printer.Receipts(count);
}

// The status codes other than 0 that RecordCode, a status callback, received.
inline std::mutex g_codesMutex;
inline std::vector<int> g_codes;
inline int RecordCode(int code) {
    std::lock_guard<std::mutex> lock(g_codesMutex);
    if (code != 0) g_codes.push_back(code);
    return 0;
}
inline std::vector<int> Codes() {
    std::lock_guard<std::mutex> lock(g_codesMutex);
    return g_codes;
}

// A program whose standard output and error go to one pipe.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int fds[2] = {-1, -1};
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        if ((pid_ = ::fork()) == 0) {
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        Finish();
        ::close(out_);
    }
    // Reads until the output holds `text` (for "": until it ends); false after a minute.
    bool ReadUntil(const std::string& text = "") {
        while (text.empty() || output.find(text) == std::string::npos) {
            pollfd p{out_, POLLIN, 0};
            char buf[4096];
            const ssize_t n = ::poll(&p, 1, 60000) == 1 ? ::read(out_, buf, sizeof buf) : -2;
            if (n <= 0) return n == 0 && text.empty();
            output.append(buf, static_cast<size_t>(n));
        }
        return true;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The exit status once the program ended; -1 when it did not exit by itself.
    int Finish() {
        if (pid_ <= 0) return -1;
        if (!ReadUntil()) ::kill(pid_, SIGKILL);
        int status = 0;
        const bool ended = ::waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string output;

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace kesto::vprinter::test
