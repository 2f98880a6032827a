// kesto-hotplugd: tells the printer driver on this machine when a printer of
// the family is plugged in or pulled out. See hotplug_notifier.h.
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <string>

#include "hotplug_notifier.h"

namespace {

sigset_t StopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    return stopSignals;
}

// Takes a pending SIGINT or SIGTERM off the queue; true when there was one.
bool TakeStopSignal() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) return false;
    if (sigismember(&pending, SIGINT) != 1 && sigismember(&pending, SIGTERM) != 1) return false;
    const sigset_t stopSignals = StopSignals();
    int taken = 0;
    sigwait(&stopSignals, &taken);  // returns at once: one is pending
    return true;
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

    // The stop signals stay blocked in every thread, libusb's included (they
    // inherit the mask), and the event loop takes them off the queue between
    // its waits. A handler could run on libusb's event thread, which sleeps
    // until a device comes or goes, and a runtime that defers handlers to the
    // thread's next call (ThreadSanitizer does) would then never stop us.
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    kesto::hotplug::Notifier notifier(options, options.verbose ? &std::cerr : nullptr);
    if (!notifier.Start(error)) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }
    return notifier.Run(&TakeStopSignal);
}
