// kesto-hotplugd: tells the printer driver on this machine when a printer of
// the family is plugged in or pulled out. See hotplug_notifier.h.
#include <iostream>
#include <string>

#include "hotplug_notifier.h"
#include "stop_signals.h"

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

    // Before libusb starts its event thread; Run takes them between its waits.
    kesto::tools::BlockStopSignals();
    kesto::hotplug::Notifier notifier(options, options.verbose ? &std::cerr : nullptr);
    if (!notifier.Start(error)) {
        std::cerr << program << ": " << error << "\n";
        return 1;
    }
    return notifier.Run(&kesto::tools::TakeStopSignal);
}
