#pragma once

// The loopback endpoints of the device notification channel. A library
// instance binds the first free one; kesto-hotplugd, which does not link the
// library, sends every notice to all of them so that each instance hears it.
// Header-only for that reason.

namespace kesto {

constexpr int kNotificationEndpoints = 5;
constexpr const char* kNotificationHosts[kNotificationEndpoints] = {"127.0.0.1", "127.0.0.2", "127.0.0.3",
                                                                    "127.0.0.4", "127.0.0.5"};
constexpr int kNotificationPorts[kNotificationEndpoints] = {9930, 9931, 9932, 9934, 9935};

}  // namespace kesto
