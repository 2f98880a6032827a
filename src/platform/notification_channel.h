#pragma once

#include <atomic>
#include <cstddef>

#include "platform/export.h"
#include "platform/uncopyable.h"

// The device notification channel as hosts see it too.
extern "C" {
extern KESTO_API const char* const MSG_IP[5];
extern KESTO_API const int MSG_PORTS[8];
KESTO_API void MonitorDeviceNotification(int* slot, void (*callback)(void*));
KESTO_API void DestroyDeviceNotification(int* slot);
KESTO_API int TryOpenPort(int number);
}

namespace kesto {

struct NotificationEndpoint {
    const char* host;
    int port;
};

// Test seam, not exported: the monitor binds these endpoints (the array must
// outlive every monitor) instead of the fixed ones, which another test run on
// the same machine may hold. nullptr restores the fixed endpoints.
void SetNotificationEndpointsForTesting(const NotificationEndpoint* endpoints, int count);

// Tells a running notification monitor to return. Request may be called from
// any thread, any number of times; the monitor wakes at once through a pipe.
class NotificationStop : Uncopyable {
public:
    NotificationStop();
    ~NotificationStop();

    void Request();
    bool Requested() const { return requested.load(); }
    // Becomes readable once a stop was requested; -1 if no pipe could be made
    // (the monitor then looks at Requested() every 100 ms instead).
    int WakeFd() const { return pipeFds[0]; }

private:
    std::atomic<bool> requested{false};
    int pipeFds[2] = {-1, -1};
};

// How many hardware-change calls one received datagram asks for: one if it
// holds "DEVICE_ADD" anywhere, one more if it holds "DEVICE_REMOVE".
int DeviceNotificationCount(const char* datagram, size_t size);

// MonitorDeviceNotification with a way out: binds the first free endpoint of
// MSG_IP/MSG_PORTS and calls notify(context) once for each of "DEVICE_ADD" and
// "DEVICE_REMOVE" in every datagram, until stop (may be null: never) is
// requested. The socket is close-on-exec and is closed before this returns.
// notify may be null (datagrams are then dropped). slot is neither read nor written.
void MonitorDeviceNotificationUntil(int* slot, void (*notify)(void*), void* context, NotificationStop* stop);

}  // namespace kesto
