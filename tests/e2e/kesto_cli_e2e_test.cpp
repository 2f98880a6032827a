// The kesto command-line tool, run as a separate process against the virtual
// printer: its help, its commands' effect on the printer, and one-line reasons
// with a non-zero exit status when something fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"

extern char** environ;

namespace kesto::e2e {
namespace {

struct Outcome {
    int exit = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out, err;
};

// Runs the kesto tool with `args`, feeding `input` to its standard input.
// With a signal given, sends it once standard output holds signalWhenOut.
Outcome Kesto(const std::vector<std::string>& args, const std::string& input = "", int signal = 0,
              const std::string& signalWhenOut = "") {
    Outcome run;
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KESTO_E2E_CLI));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, KESTO_E2E_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned == 0 && !input.empty()) {
        ssize_t written = ::write(in[1], input.data(), input.size());
        EXPECT_EQ(written, static_cast<ssize_t>(input.size()));
    }
    ::close(in[1]);
    // Both streams are drained together, so neither pipe can fill up and stall the tool.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (spawned == 0 && open > 0) {
        if (::poll(fds, 2, 60000) <= 0) {
            ADD_FAILURE() << "kesto did not finish within a minute";
            ::kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
                if (signal != 0 && run.out.find(signalWhenOut) != std::string::npos) {
                    ::kill(pid, signal);
                    signal = 0;
                }
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exit = WEXITSTATUS(status);
    return run;
}

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
public:
    RefusingPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~RefusingPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A failure: non-zero exit, nothing on standard output, one line naming the reason.
void ExpectOneLineFailure(const Outcome& run, const std::string& reason) {
    EXPECT_NE(run.exit, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("kesto: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
}

const char* const kCommands[] = {"list", "print",  "receipt", "barcode", "image",
                                 "cut",  "drawer", "status",  "version"};

TEST(KestoCliE2E, HelpNamesEveryCommandAndEachCommandExplainsItself) {
    Outcome help = Kesto({"--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.err, "");
    for (const char* command : kCommands) {
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
        Outcome own = Kesto({command, "--help"});
        EXPECT_EQ(own.exit, 0) << command;
        EXPECT_EQ(own.err, "") << command;
        EXPECT_EQ(own.out.rfind("kesto ", 0), 0u) << own.out;
        EXPECT_NE(own.out.find(command), std::string::npos) << own.out;
    }
    // Without a command the usage goes to standard error, as a failure.
    Outcome bare = Kesto({});
    EXPECT_NE(bare.exit, 0);
    EXPECT_NE(bare.err.find("usage: kesto"), std::string::npos);
}

TEST(KestoCliE2E, VersionAndTheEmptyPrinterList) {
    Outcome version = Kesto({"version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out, "libKESTOCommu 0.6.0.2\n");

    // No printer of the family is attached to this machine.
    Outcome list = Kesto({"list"});
    EXPECT_EQ(list.exit, 0) << list.err;
    EXPECT_EQ(list.out, "");
}

class KestoCliPrinterE2E : public ::testing::Test {
protected:
    Outcome KestoHere(std::vector<std::string> args, const std::string& input = "", int signal = 0,
                      const std::string& signalWhenOut = "") {
        args.insert(args.begin(), {"--tcp", printer.Address()});
        return Kesto(args, input, signal, signalWhenOut);
    }
    // The receipt the tool's connection made (it ends with the connection at the latest).
    Receipt OnlyReceipt() {
        std::vector<Receipt> receipts = printer.WaitForReceipts(1);
        EXPECT_EQ(receipts.size(), 1u);
        return receipts.empty() ? Receipt{} : receipts.front();
    }
    PrinterServer printer;
};

TEST_F(KestoCliPrinterE2E, PrintSendsArgumentsOrStandardInputAsLines) {
    Outcome run = KestoHere({"print", "hello"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
    Receipt r = OnlyReceipt();
    ASSERT_EQ(r.LineTexts(), std::vector<std::string>{"hello"});
    EXPECT_EQ(r.lines[0].style().font, vprinter::Font::kA);

    run = KestoHere({"print"}, "first line\nsecond line\n");
    EXPECT_EQ(run.exit, 0) << run.err;
    std::vector<Receipt> receipts = printer.WaitForReceipts(2);
    ASSERT_EQ(receipts.size(), 2u);
    EXPECT_EQ(receipts[1].LineTexts(), (std::vector<std::string>{"first line", "second line"}));
}

TEST_F(KestoCliPrinterE2E, ReceiptAndBarcodeCommandsPrint) {
    Outcome run = KestoHere({"receipt", "3"});
    EXPECT_EQ(run.exit, 0) << run.err;
    Receipt r = OnlyReceipt();
    EXPECT_TRUE(r.cut);
    EXPECT_TRUE(HasLine(r, "Sale"));

    run = KestoHere({"barcode", "qr", "kesto from the shell"});
    EXPECT_EQ(run.exit, 0) << run.err;
    std::vector<Receipt> receipts = printer.WaitForReceipts(2);
    ASSERT_EQ(receipts.size(), 2u);
    ASSERT_EQ(receipts[1].symbols.size(), 1u) << receipts[1].TranscriptText();
    EXPECT_EQ(Scan(receipts[1], receipts[1].symbols[0], ZXing::BarcodeFormat::QRCode),
              "kesto from the shell");
}

TEST_F(KestoCliPrinterE2E, DrawerKickAndStatusInWords) {
    Outcome run = KestoHere({"drawer", "A"});
    EXPECT_EQ(run.exit, 0) << run.err;
    Receipt r = OnlyReceipt();
    EXPECT_EQ(r.drawer_pulses, 1);
    EXPECT_NE(r.TranscriptText().find("drawer pulse on connector pin 2, on 50 ms, off 500 ms"),
              std::string::npos)
        << r.TranscriptText();
    EXPECT_TRUE(printer.Condition().drawer_high);

    ASSERT_EQ(printer.Control("drawer-close").rfind("ok", 0), 0u);
    ASSERT_EQ(printer.Control("cover-open").rfind("ok", 0), 0u);
    run = KestoHere({"status"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "7 cover open\n");

    // An empty roll trips the near-end sensor too; paper end is what counts.
    ASSERT_EQ(printer.Control("cover-close").rfind("ok", 0), 0u);
    ASSERT_EQ(printer.Control("paper-end").rfind("ok", 0), 0u);
    run = KestoHere({"status"});
    EXPECT_EQ(run.out, "19 paper end\n");
}

TEST_F(KestoCliPrinterE2E, StatusWatchReportsEachChangeUntilItsTimeIsUp) {
    // The cover opens once the tool's status thread has switched the printer to
    // automatic status back.
    std::thread opener([&] {
        if (WaitUntil([&] { return printer.AsbMask() != 0; })) printer.Control("cover-open");
    });
    Outcome run = KestoHere({"status", "--watch", "4"});
    opener.join();
    EXPECT_EQ(run.exit, 0) << run.err;
    // The first report (the drawer pin) is lost only when both blocks arrive in one read.
    EXPECT_TRUE(run.out == "3 drawer pin 3 low\n7 cover open\n" || run.out == "7 cover open\n") << run.out;
}

TEST_F(KestoCliPrinterE2E, StatusWatchWithoutTimeEndsOnCtrlCOrTerm) {
    for (int signal : {SIGINT, SIGTERM}) {
        printer.Control("cover-close");
        std::thread opener([&] {
            if (WaitUntil([&] { return printer.AsbMask() != 0; })) printer.Control("cover-open");
        });
        // Watches until stopped; the signal goes out once the change was reported.
        Outcome run = KestoHere({"status", "--watch", "0"}, "", signal, "7 cover open\n");
        opener.join();
        EXPECT_EQ(run.exit, 0) << "signal " << signal << ": " << run.err;
        EXPECT_NE(run.out.find("7 cover open\n"), std::string::npos) << run.out;
    }
}

TEST_F(KestoCliPrinterE2E, BadArgumentsFailWithOneLineAndSendNothing) {
    ExpectOneLineFailure(KestoHere({"receipt", "9"}), "1 to 4");
    ExpectOneLineFailure(KestoHere({"frobnicate"}), "unknown command: frobnicate");
    ExpectOneLineFailure(KestoHere({"barcode", "qr"}), "TYPE and DATA");
    ExpectOneLineFailure(KestoHere({"barcode", "aztec", "x"}), "unknown barcode type");
    // Type codes the library does not know would print nothing and still succeed.
    ExpectOneLineFailure(KestoHere({"barcode", "266", "x"}), "unknown barcode type");
    ExpectOneLineFailure(KestoHere({"drawer", "C"}), "A or B");
    ExpectOneLineFailure(KestoHere({"drawer", "A", "--on"}), "--on needs");
    // The printer takes pulse times up to 255 x 2 ms; more would wrap round.
    ExpectOneLineFailure(KestoHere({"drawer", "A", "--on", "1000"}), "0 to 510");
    ExpectOneLineFailure(KestoHere({"status", "--watch", "soon"}), "SECONDS");
    // Data the library cannot describe in the command is refused as such.
    ExpectOneLineFailure(KestoHere({"barcode", "code128", "{B" + std::string(300, 'x')}), "too long");
    EXPECT_EQ(printer.Receipts().size(), 0u);
}

TEST(KestoCliE2E, UnreachablePrinterFailsWithTheReason) {
    RefusingPort refusing;
    for (const std::vector<std::string>& command : {std::vector<std::string>{"print", "hello"},
                                                    {"receipt", "3"},
                                                    {"barcode", "qr", "x"},
                                                    {"status"},
                                                    {"drawer", "A"}}) {
        std::vector<std::string> args = {"--tcp", refusing.Address()};
        args.insert(args.end(), command.begin(), command.end());
        ExpectOneLineFailure(Kesto(args), "Connection refused");
    }
}

}  // namespace
}  // namespace kesto::e2e
