// kesto-virtual-printer: an ESC/POS printer emulator.
//
//   kesto-virtual-printer [--port N] [--bind ADDR] [--control-port N] [--out DIR]
//                         [--width 576|384] [--scenario FILE] [--quiet]
//                         [--multibyte gb18030|shift-jis|big5|ksc5601]
//   kesto-virtual-printer --input FILE [--out DIR] [--width N]
//   kesto-virtual-printer ctl --control-port N [--host ADDR] COMMAND...
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server.h"

using namespace kesto::vprinter;

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: kesto-virtual-printer [--port N] [--bind ADDR] [--control-port N] [--out DIR]\n"
                 "                             [--width DOTS] [--scenario FILE] [--quiet]\n"
                 "                             [--multibyte gb18030|shift-jis|big5|ksc5601]\n"
                 "       kesto-virtual-printer --input FILE [--out DIR] [--width DOTS]\n"
                 "       kesto-virtual-printer ctl --control-port N [--host ADDR] COMMAND...\n"
                 "control commands: cover-open cover-close paper-near-end paper-end paper-ok\n"
                 "                  drawer-open drawer-close offline online feed-press feed-release\n"
                 "                  cutter-error unrecoverable-error auto-recoverable-error\n"
                 "                  waiting-recovery recover power-off power-on status help\n"
                 "scenario file: one \"<delay ms> <control command>\" per line\n");
}

bool ParseInt(const char* s, int lo, int hi, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!s[0] || *end || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

int Ctl(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = -1;
    std::vector<std::string> commands;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--control-port" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 1, 65535, &port)) return Usage(), 2;
        } else if (a == "--host" && i + 1 < argc) {
            host = argv[++i];
        } else {
            commands.push_back(a);
        }
    }
    if (port < 0 || commands.empty()) return Usage(), 2;
    int rc = 0;
    for (const auto& c : commands) {
        std::string reply, error;
        if (!SendControl(host, port, c, &reply, &error)) {
            std::fprintf(stderr, "kesto-virtual-printer ctl: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", reply.c_str());
        if (reply.rfind("ok", 0) != 0) rc = 1;
    }
    return rc;
}

struct Options {
    ServerOptions server;
    std::string input, scenario;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    ServerOptions& opt = o->server;
    opt.out_dir = "vprinter-out";
    opt.printer.max_kept = 16;  // files hold the receipts; memory keeps only the last few
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--port" && (v = value())) {
            if (!ParseInt(v, 0, 65535, &opt.port)) return false;
        } else if (a == "--control-port" && (v = value())) {
            if (!ParseInt(v, 0, 65535, &opt.control_port)) return false;
        } else if (a == "--bind" && (v = value())) {
            opt.bind = v;
        } else if (a == "--out" && (v = value())) {
            opt.out_dir = v;
        } else if (a == "--width" && (v = value())) {
            if (!ParseInt(v, 64, 4096, &opt.printer.width)) return false;
        } else if (a == "--multibyte" && (v = value())) {
            if (!ParseMultibyte(v, &opt.printer.multibyte)) return false;
        } else if (a == "--input" && (v = value())) {
            o->input = v;
        } else if (a == "--scenario" && (v = value())) {
            o->scenario = v;
        } else if (a == "--quiet") {
            opt.echo = false;
        } else {
            return false;
        }
    }
    return true;
}

// Prints the bytes of a file and writes the receipts they make.
int PrintFile(const ServerOptions& opt, const std::string& input) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kesto-virtual-printer: cannot read %s\n", input.c_str());
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    VirtualPrinter printer(opt.printer);
    int failures = 0;
    printer.set_receipt_sink([&](const Receipt& r) {
        std::string error;
        if (!WriteReceiptFiles(opt.out_dir, r, &error)) {
            std::fprintf(stderr, "kesto-virtual-printer: %s\n", error.c_str());
            ++failures;
            return;
        }
        std::printf("receipt %d: %zu text lines -> %s/receipt-%d.png\n", r.number, r.lines.size(),
                    opt.out_dir.c_str(), r.number);
    });
    printer.Feed(bytes);
    printer.EndOfStream();
    return failures ? 1 : 0;
}

// Serves the network until SIGINT or SIGTERM, then finishes every receipt
// received so far.
int Serve(ServerOptions opt, const std::string& scenario) {
    std::string error;
    if (!scenario.empty() && !ReadScenario(scenario, &opt.scenario, &error)) {
        std::fprintf(stderr, "kesto-virtual-printer: %s\n", error.c_str());
        return 2;
    }

    // No handler: the signals stay blocked in every thread (the server's
    // threads inherit the mask) and this thread takes them with sigwait.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    Server server(opt);
    if (!server.Start(&error)) {
        std::fprintf(stderr, "kesto-virtual-printer: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s:%d\n", opt.bind.c_str(), server.port());
    if (server.control_port() >= 0)
        std::printf("control on %s:%d\n", opt.bind.c_str(), server.control_port());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    server.Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "ctl") return Ctl(argc, argv);
    Options o;
    if (!ParseOptions(argc, argv, &o)) return Usage(), 2;
    if (!o.input.empty()) return PrintFile(o.server, o.input);
    return Serve(o.server, o.scenario);
}
