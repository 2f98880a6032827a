// `kesto list` as a person runs it, against printers emulated in this
// process's testbed: the tool runs as a child with the umockdev preload, so its
// libusb sees the same emulated bus.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/fake_usb_printer.h"

extern char** environ;

namespace {

using kesto::test::FakeUsbPrinterConfig;
using kesto::test::UsbTestbed;

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs `kesto list` with the preload and this process's environment (which
// names the testbed), and collects its standard output.
ToolRun KestoList() {
    std::vector<std::string> environment;
    bool asanOptions = false;
    for (char** e = environ; *e != nullptr; ++e) {
        environment.emplace_back(*e);
        // An AddressSanitizer build of the tool must accept a preload ahead of its runtime.
        if (environment.back().rfind("ASAN_OPTIONS=", 0) == 0) {
            environment.back() += ":verify_asan_link_order=0";
            asanOptions = true;
        }
    }
    if (!asanOptions) environment.emplace_back("ASAN_OPTIONS=verify_asan_link_order=0");
    environment.push_back(std::string("LD_PRELOAD=") + KESTO_UMOCKDEV_PRELOAD);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(&e[0]);
    envp.push_back(nullptr);

    int pipeFds[2];
    ToolRun run;
    if (::pipe(pipeFds) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char* const argv[] = {const_cast<char*>(KESTO_CLI), const_cast<char*>("list"), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, KESTO_CLI, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            run.out.append(buffer, static_cast<size_t>(n));
        int status = 0;
        ::waitpid(child, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(pipeFds[0]);
    return run;
}

TEST(KestoListUsb, ShowsEveryEmulatedPrinterOfTheFamilyOnALineOfItsOwn) {
    UsbTestbed testbed;
    FakeUsbPrinterConfig first;
    first.bus = 20;
    first.address = 5;
    testbed.AddPrinter(first);
    FakeUsbPrinterConfig second;
    second.bus = 1;
    second.address = 9;
    testbed.AddPrinter(second);
    FakeUsbPrinterConfig other;  // another vendor's printer stays out of the list
    other.bus = 1;
    other.address = 10;
    other.vendorId = 0x04B8;
    testbed.AddPrinter(other);

    const ToolRun run = KestoList();
    ASSERT_EQ(run.status, 0);
    const std::string one =
        "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal><maxpacket>12</maxpacket></"
        "device>\n";
    const std::string two =
        "<device><type>USB</type><path>0001:0009:00</path><modal>VANTO500</modal><maxpacket>12</maxpacket></"
        "device>\n";
    EXPECT_TRUE(run.out == one + two || run.out == two + one) << run.out;
}

}  // namespace
