// The device side of the core: the present HID interfaces (HidBus) and one direction of an open
// device (HidLink). Adapters translate the platform's HID layer into these; the core sees whole
// 65-byte reports and, for every transfer, what the platform call returned and its error code.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ports/report.hpp"

namespace fwup {

// What a WriteFile or ReadFile call gave: its BOOL result and, when it returned FALSE, the
// last-error code read right after it. FALSE with code 0 is a real outcome and is kept as such.
struct TransferResult {
  bool ok = true;
  std::uint32_t last_error = kErrorSuccess;

  static TransferResult Done() { return {}; }
  static TransferResult Failed(std::uint32_t code) { return {false, code}; }
};

// One direction of the device link, as one handle of the platform.
class HidLink {
 public:
  virtual ~HidLink() = default;
  // Sends one 65-byte output report; byte 0 is the report ID. Gives up after `bound` with
  // kErrorTimeout when the device does not take it.
  virtual TransferResult Write(const BootReport& report, std::chrono::milliseconds bound) = 0;
  // Receives one input report into all 65 bytes (byte 0 the report ID). Gives up after `bound`
  // with kErrorTimeout; a bound of zero takes only what is already queued.
  virtual TransferResult Read(BootReport& report, std::chrono::milliseconds bound) = 0;
};

enum class HidAccess { Write, Read };

struct OpenResult {
  std::unique_ptr<HidLink> link;  // null when the open failed
  std::uint32_t error = kErrorSuccess;
};

// One pass over the present HID interfaces, in platform order (a device information set).
// Destroying it ends the pass.
class HidEnumeration {
 public:
  virtual ~HidEnumeration() = default;
  // Whether an interface exists at `index`; false ends the walk.
  virtual bool InterfaceAt(std::uint32_t index) = 0;
  // The first string of the interface's hardware-ID list, empty when the property cannot be
  // read; nullopt when there is no memory to read it into.
  virtual std::optional<std::u16string> HardwareId(std::uint32_t index) = 0;
  // The interface's device path; nullopt when its detail record cannot be had.
  virtual std::optional<std::string> DevicePath(std::uint32_t index) = 0;
  // Where the interface's USB device is plugged in, as the platform names the place (a USB port
  // path on Linux, a location path on Windows): the same for every board put into that socket.
  // Empty for a device without a USB parent, or when the platform does not say.
  virtual std::string Location(std::uint32_t /*index*/) { return {}; }
};

class HidBus {
 public:
  virtual ~HidBus() = default;
  virtual std::unique_ptr<HidEnumeration> Enumerate() = 0;
  virtual OpenResult Open(const std::string& path, HidAccess access) = 0;
};

}  // namespace fwup
