#pragma once

#include <cstdint>

// USB ids and endpoints of the supported printer family, shared by the library
// and kesto-hotplugd (which does not link the library: header-only). We have
// no vendor id of our own; these come from the range the open pid.codes
// registry keeps for testing.
namespace kesto {

constexpr uint16_t kUsbVendorId = 0x1209;

constexpr uint16_t kUsbProductTorqa10 = 0x0001;
constexpr uint16_t kUsbProductTorqa12 = 0x0002;
constexpr uint16_t kUsbProductTorqa15 = 0x0003;
constexpr uint16_t kUsbProductTorqa20 = 0x0004;
constexpr uint16_t kUsbProductTorqa20i = 0x0005;
constexpr uint16_t kUsbProductTorqa22 = 0x0006;
constexpr uint16_t kUsbProductTorqa25 = 0x0007;
constexpr uint16_t kUsbProductVanto500 = 0x0008;

// The pair the hardware detector lists; detected printers are opened as VANTO500.
constexpr uint16_t kUsbDetectedProductId = kUsbProductVanto500;

constexpr int kUsbInterface = 0;
constexpr unsigned char kUsbEndpointOut = 0x02;
constexpr unsigned char kUsbEndpointIn = 0x81;

}  // namespace kesto
