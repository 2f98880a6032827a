// The virtual printer on the network: a TCP printer port (one connection at a
// time, like a real printer), a control port that changes the simulated
// condition with one text command per line, scripted scenarios, and the files
// each finished receipt is written to.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual_printer.h"

namespace kesto::vprinter {

struct ServerOptions {
    std::string bind = "127.0.0.1";
    int port = 9100;        // 0 picks a free port
    int control_port = -1;  // -1: no control port; 0 picks a free one
    std::string out_dir;    // "" writes no files
    bool echo = true;       // print a line per finished receipt on stdout
    PrinterOptions printer;
    std::vector<std::string> scenario;  // "<delay ms> <control command>" lines
    // The receive buffer: once a stopped printer holds this many bytes, the
    // printer port stops reading (the sender's writes wait) until it prints on.
    size_t buffer = 4u << 20;
};

// Writes receipt-N.png and receipt-N.txt into `dir` (created if missing).
bool WriteReceiptFiles(const std::string& dir, const Receipt& r, std::string* error);

// Reads a scenario file: one "<delay ms> <command>" per line, '#' comments.
bool ReadScenario(const std::string& path, std::vector<std::string>* lines, std::string* error);

// Sends one control command to a running printer and returns its answer.
bool SendControl(const std::string& host, int port, const std::string& command, std::string* reply,
                 std::string* error);

class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool Start(std::string* error);
    // Stops accepting. The connection being served and those already waiting
    // are read up to what has arrived and ended as if their clients had
    // closed them, so every receipt sent so far is finished.
    void Stop();
    int port() const { return port_; }
    // Printer connections served to their end.
    int connections() const { return connections_; }
    int control_port() const { return control_port_; }

    // Runs one control command ("cover-open", "power-off", "status", ...) and
    // returns the answer: "ok ..." (the state after it) or "error ...".
    std::string Control(const std::string& command);

    // Runs `f(printer)` under the printer's lock.
    template <typename F>
    auto WithPrinter(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        // `f` may have let the printer print on: the port may read again.
        struct Notify {
            std::condition_variable& cv;
            ~Notify() { cv.notify_all(); }
        } notify{printed_cv_};
        return f(printer_);
    }

private:
    void AcceptLoop();
    void ControlLoop();
    void ScenarioLoop();
    void ServeClient(int fd);
    void ServeControlClient(int fd);
    bool Sleep(int ms);

    ServerOptions options_;
    std::mutex mutex_;  // guards printer_ and client_fd_
    VirtualPrinter printer_;
    int client_fd_ = -1;
    int listen_fd_ = -1, control_fd_ = -1;
    int port_ = 0, control_port_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex sleep_mutex_;
    std::condition_variable sleep_cv_;
    std::condition_variable printed_cv_;  // with mutex_: the printer printed on, or stopping
    std::thread accept_thread_, control_thread_, scenario_thread_;
};

}  // namespace kesto::vprinter
