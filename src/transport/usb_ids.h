#pragma once

#include <cstdint>

// USB ids of the supported printer family. We have no vendor id of our own;
// these come from the range the open pid.codes registry keeps for testing.
namespace kesto::usb {

constexpr uint16_t kVendorId = 0x1209;

constexpr uint16_t kProductTorqa10 = 0x0001;
constexpr uint16_t kProductTorqa12 = 0x0002;
constexpr uint16_t kProductTorqa15 = 0x0003;
constexpr uint16_t kProductTorqa20 = 0x0004;
constexpr uint16_t kProductTorqa20i = 0x0005;
constexpr uint16_t kProductTorqa22 = 0x0006;
constexpr uint16_t kProductTorqa25 = 0x0007;
constexpr uint16_t kProductVanto500 = 0x0008;

// The pair the hardware detector lists; detected printers are opened as VANTO500.
constexpr uint16_t kDetectedProductId = kProductVanto500;

constexpr int kInterface = 0;
constexpr unsigned char kEndpointOut = 0x02;
constexpr unsigned char kEndpointIn = 0x81;

}  // namespace kesto::usb
