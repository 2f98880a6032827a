#include "server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kesto::vprinter {
namespace {

constexpr int kPollMs = 100;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int Listen(const std::string& bind, int port, int* bound_port, std::string* error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, bind.c_str(), &addr.sin_addr) != 1) {
        *error = "not an IPv4 address: " + bind;
        return -1;
    }
    // Non-blocking, so that a stopping server can take the connections
    // already waiting without ever blocking in accept.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        *error = "cannot listen on " + bind + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *bound_port = ntohs(addr.sin_port);
    return fd;
}

// Waits until `fd` is readable or `stop` is set; false on stop.
bool WaitReadable(int fd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, kPollMs);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
    return false;
}

void SendAll(int fd, const uint8_t* bytes, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, bytes, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        bytes += w;
        n -= static_cast<size_t>(w);
    }
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool WriteReceiptFiles(const std::string& dir, const Receipt& r, std::string* error) {
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    std::string base = dir + "/receipt-" + std::to_string(r.number);
    if (!WritePng(base + ".png", r.paper, r.cut, error)) return false;
    std::ofstream txt(base + ".txt", std::ios::trunc);
    txt << r.TranscriptText();
    if (!txt) {
        *error = "cannot write " + base + ".txt";
        return false;
    }
    return true;
}

bool ReadScenario(const std::string& path, std::vector<std::string>* lines, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        std::istringstream is(line);
        long delay = -1;
        std::string cmd;
        if (!(is >> delay >> cmd) || delay < 0) {
            *error = path + ":" + std::to_string(number) + ": expected \"<delay ms> <command>\"";
            return false;
        }
        lines->push_back(line);
    }
    return true;
}

bool SendControl(const std::string& host, int port, const std::string& command, std::string* reply,
                 std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) {
        *error = "cannot resolve " + host;
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && ::connect(fd, res->ai_addr, res->ai_addrlen) == 0;
    ::freeaddrinfo(res);
    if (!ok) {
        *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    std::string line = command + "\n";
    SendAll(fd, reinterpret_cast<const uint8_t*>(line.data()), line.size());
    reply->clear();
    char buf[256];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        reply->append(buf, static_cast<size_t>(n));
        if (reply->find('\n') != std::string::npos) break;
    }
    ::close(fd);
    *reply = Trim(*reply);
    if (reply->empty()) {
        *error = "no answer";
        return false;
    }
    return true;
}

Server::Server(ServerOptions options) : options_(std::move(options)), printer_(options_.printer) {
    printer_.set_reply_sink([this](const uint8_t* b, size_t n) {
        if (client_fd_ >= 0) SendAll(client_fd_, b, n);
    });
    printer_.set_receipt_sink([this](const Receipt& r) {
        std::string where;
        if (!options_.out_dir.empty()) {
            std::string error;
            where = WriteReceiptFiles(options_.out_dir, r, &error)
                        ? " -> " + options_.out_dir + "/receipt-" + std::to_string(r.number) + ".png"
                        : " (" + error + ")";
        }
        if (options_.echo) {
            std::printf("receipt %d: %zu text lines, %zu codes/images, %d dots long%s%s\n", r.number,
                        r.lines.size(), r.symbols.size(), r.paper.height(), r.cut ? ", cut" : "",
                        where.c_str());
            std::fflush(stdout);
        }
    });
}

Server::~Server() {
    Stop();
}

bool Server::Start(std::string* error) {
    listen_fd_ = Listen(options_.bind, options_.port, &port_, error);
    if (listen_fd_ < 0) return false;
    if (options_.control_port >= 0) {
        control_fd_ = Listen(options_.bind, options_.control_port, &control_port_, error);
        if (control_fd_ < 0) {
            CloseFd(listen_fd_);
            return false;
        }
        control_thread_ = std::thread([this] { ControlLoop(); });
    }
    accept_thread_ = std::thread([this] { AcceptLoop(); });
    if (!options_.scenario.empty()) scenario_thread_ = std::thread([this] { ScenarioLoop(); });
    return true;
}

void Server::Stop() {
    stop_ = true;
    sleep_cv_.notify_all();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        printed_cv_.notify_all();
    }
    for (std::thread* t : {&accept_thread_, &control_thread_, &scenario_thread_})
        if (t->joinable()) t->join();
    CloseFd(listen_fd_);
    CloseFd(control_fd_);
}

void Server::AcceptLoop() {
    while (WaitReadable(listen_fd_, stop_)) {
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) ServeClient(fd);
    }
    // Stopping: clients whose connections the system has already accepted may
    // have sent a whole receipt, so those are served too.
    for (;;) {
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR) continue;
        if (fd < 0) return;
        ServeClient(fd);
    }
}

void Server::ServeClient(int fd) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        client_fd_ = fd;
    }
    uint8_t buf[8192];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            printed_cv_.wait(lock, [this] { return stop_ || printer_.held_bytes() < options_.buffer; });
        }
        // Once stopping, only what has already arrived is read.
        bool stopping = !WaitReadable(fd, stop_);
        ssize_t n = ::recv(fd, buf, sizeof buf, stopping ? MSG_DONTWAIT : 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mutex_);
        printer_.Feed(buf, static_cast<size_t>(n));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    printer_.EndOfStream();
    client_fd_ = -1;
    ::close(fd);
    ++connections_;
}

void Server::ControlLoop() {
    while (WaitReadable(control_fd_, stop_)) {
        int fd = ::accept4(control_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ServeControlClient(fd);
        ::close(fd);
    }
}

void Server::ServeControlClient(int fd) {
    std::string pending;
    char buf[512];
    while (WaitReadable(fd, stop_)) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pending.append(buf, static_cast<size_t>(n));
        if (pending.size() > 4096) return;  // nobody sends commands that long
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string reply = Control(pending.substr(0, nl)) + "\n";
            pending.erase(0, nl + 1);
            SendAll(fd, reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
        }
    }
}

bool Server::Sleep(int ms) {
    std::unique_lock<std::mutex> lock(sleep_mutex_);
    return !sleep_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void Server::ScenarioLoop() {
    for (const std::string& line : options_.scenario) {
        std::istringstream is(line);
        long delay = 0;
        std::string cmd;
        is >> delay;
        std::getline(is, cmd);
        if (!Sleep(static_cast<int>(delay))) return;
        std::string reply = Control(Trim(cmd));
        if (options_.echo) {
            std::printf("scenario: %s: %s\n", Trim(cmd).c_str(), reply.c_str());
            std::fflush(stdout);
        }
    }
}

namespace {

// The control words and what each does to the simulated condition.
struct ControlWord {
    const char* word;
    void (*change)(Condition& c);
};

const ControlWord kControlWords[] = {
    {"cover-open", [](Condition& c) { c.cover_open = true; }},
    {"cover-close", [](Condition& c) { c.cover_open = false; }},
    {"paper-near-end", [](Condition& c) { c.paper_near_end = true, c.paper_end = false; }},
    {"paper-end", [](Condition& c) { c.paper_near_end = true, c.paper_end = true; }},  // both sensors
    {"paper-ok", [](Condition& c) { c.paper_near_end = false, c.paper_end = false; }},
    {"drawer-open", [](Condition& c) { c.drawer_high = true; }},
    {"drawer-high", [](Condition& c) { c.drawer_high = true; }},
    {"drawer-close", [](Condition& c) { c.drawer_high = false; }},
    {"drawer-low", [](Condition& c) { c.drawer_high = false; }},
    {"offline", [](Condition& c) { c.offline = true; }},
    {"online", [](Condition& c) { c.offline = false; }},
    {"feed-press", [](Condition& c) { c.feed_button = true; }},
    {"feed-release", [](Condition& c) { c.feed_button = false; }},
    {"cutter-error", [](Condition& c) { c.cutter_error = true; }},
    {"unrecoverable-error", [](Condition& c) { c.unrecoverable_error = true; }},
    {"auto-recoverable-error", [](Condition& c) { c.auto_recoverable_error = true; }},
    {"waiting-recovery", [](Condition& c) { c.waiting_recovery = true; }},
    // The operator cleared the jam, the head cooled down: all but an unrecoverable error.
    {"recover", [](Condition& c) { c.cutter_error = c.auto_recoverable_error = c.waiting_recovery = false; }},
    {"power-off", [](Condition& c) { c.power_off = true; }},
    {"power-on", [](Condition& c) { c.power_off = false; }},
};

std::string ErrorWords(const Condition& c) {
    std::string s;
    if (c.cutter_error) s += ",cutter";
    if (c.unrecoverable_error) s += ",unrecoverable";
    if (c.auto_recoverable_error) s += ",auto-recoverable";
    return s.empty() ? "none" : s.substr(1);
}

}  // namespace

std::string Server::Control(const std::string& raw) {
    std::string cmd = Trim(raw);
    std::lock_guard<std::mutex> lock(mutex_);
    if (cmd == "help") {
        std::string words = "ok commands:";
        for (const ControlWord& w : kControlWords) words += std::string(" ") + w.word;
        return words + " status help";
    }
    if (cmd != "status") {
        const ControlWord* found = nullptr;
        for (const ControlWord& w : kControlWords)
            if (cmd == w.word) found = &w;
        if (found == nullptr) return "error unknown command '" + cmd + "' (try help)";
        Condition c = printer_.condition();
        found->change(c);
        printer_.SetCondition(c);
        printed_cv_.notify_all();
    }
    const Condition& c = printer_.condition();
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "ok cover=%s paper=%s drawer=%s %s asb=0x%02X receipts=%d feed=%s errors=%s recovery=%s "
                  "power=%s held=%zu",
                  c.cover_open ? "open" : "closed",
                  c.paper_end        ? "end"
                  : c.paper_near_end ? "near-end"
                                     : "ok",
                  c.drawer_high ? "high" : "low", c.Offline() ? "offline" : "online", printer_.asb_mask(),
                  printer_.current().number - 1, c.feed_button ? "pressed" : "released",
                  ErrorWords(c).c_str(), c.waiting_recovery ? "waiting" : "none", c.power_off ? "off" : "on",
                  printer_.held());
    return buf;
}

}  // namespace kesto::vprinter
