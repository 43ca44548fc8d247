// The device's HID report descriptor: a vendor-defined collection with one 64-byte input report
// and one 64-byte output report, no report IDs. Both transports present it, so the host stacks
// see the same device either way.
#pragma once

#include <array>
#include <cstdint>

namespace fwup::vm {

inline constexpr std::uint16_t kVendorId = 0x7E51;
inline constexpr std::uint16_t kProductId = 0x0A3D;
inline constexpr std::uint16_t kDeviceVersion = 0x0100;
inline constexpr std::size_t kReportLength = 64;

inline constexpr std::array<std::uint8_t, 34> kReportDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor defined 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x09, 0x02,        //   Usage (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x09, 0x03,        //   Usage (3)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

}  // namespace fwup::vm
