#include "transport/status_poll.h"

#include <cerrno>
#include <cstring>

#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"

namespace kesto {

StatusPoll PollPrinterStatus(StopEventPolicy policy, const std::atomic<bool>* stop,
                             const std::function<int(char*)>& read,
                             const std::function<int(char*, int)>& decode, StatusReport& report) {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    int received = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int polled = WaitForEvent(&_terminateReader, 0);
        if (polled == 0) {
            if (policy == StopEventPolicy::kEndPoll) {
                DebugPrint("USBPort::sem_timedwait() succeeded\n");
                return {KESTO_STATUS_NOTHING, false};
            }
            DebugPrint("Ethernet::sem_timedwait() succeeded %d:: RetVal %d\n", errno, polled);
        }
        received = read(buffer);
        if (received > 0) break;
        if (StopRequested(stop)) return {KESTO_STATUS_NOTHING, false};
    }
    StatusPoll poll;
    poll.readNothing = received <= 0;
    poll.code = decode(buffer, received);
    if (poll.code != KESTO_STATUS_NOTHING) report.lastStatusCode.store(poll.code);
    if (int (*callback)(int) = report.callback.load()) callback(poll.code);
    return poll;
}

}  // namespace kesto
