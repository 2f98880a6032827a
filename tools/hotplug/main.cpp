// kesto-hotplugd: tells the printer driver on this machine when a printer of
// the family is plugged in or pulled out. See hotplug_notifier.h.
#include <csignal>
#include <iostream>
#include <string>

#include "hotplug_notifier.h"

namespace {

kesto::hotplug::Notifier* g_running = nullptr;  // for the signal handler only

extern "C" void OnStopSignal(int) {
    if (g_running != nullptr) g_running->RequestStop();
}

void InstallStopHandler() {
    struct sigaction action = {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait in progress ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string program = "kesto-hotplugd";
    kesto::hotplug::Options options;
    std::string error;
    if (!kesto::hotplug::ParseOptions(argc, argv, options, error)) {
        std::cerr << program << ": " << error << "\n" << kesto::hotplug::Usage(program);
        return 2;
    }
    if (options.help) {
        std::cout << kesto::hotplug::Usage(program);
        return 0;
    }

    kesto::hotplug::Notifier notifier(options, options.verbose ? &std::cerr : nullptr);
    g_running = &notifier;
    InstallStopHandler();
    if (!notifier.Start(error)) {
        std::cerr << program << ": " << error << "\n";
        g_running = nullptr;
        return 1;
    }
    const int result = notifier.Run();
    g_running = nullptr;
    return result;
}
