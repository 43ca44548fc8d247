// The few hidapi calls the adapter makes, behind a seam: the adapter's own rules (report-ID
// byte, bounds, error codes, hardware IDs) are tested against a stand-in library, and only
// system_library.cpp includes hidapi.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fwup::hidapi {

// One entry of hid_enumerate's list, with what the adapter uses of it.
struct DeviceEntry {
  std::string path;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t release_number = 0;
  // The USB port path of the interface's USB device ("1-2.3", as sysfs names it); empty when
  // the device has no USB parent (uhid) or the platform does not say.
  std::string location{};
};

// What a call returned, and errno read right after it (0 when the call succeeded).
struct CallResult {
  int value = 0;
  int error = 0;
};

// One hid_device opened by hid_open_path; destroying it calls hid_close.
class Device {
 public:
  virtual ~Device() = default;
  // hid_write: `data` starts with the report ID.
  virtual CallResult Write(std::span<const std::uint8_t> data) = 0;
  // hid_read_timeout: the report's data without a report-ID byte; value 0 when the time ran out.
  virtual CallResult ReadTimeout(std::span<std::uint8_t> data, int milliseconds) = 0;
};

class Library {
 public:
  virtual ~Library() = default;
  // hid_enumerate(0, 0), in hidapi's order, and hid_free_enumeration.
  virtual std::vector<DeviceEntry> Enumerate() = 0;
  // hid_open_path; null with `error` set (an errno value) when the open failed.
  virtual std::unique_ptr<Device> OpenPath(const std::string& path, int& error) = 0;
};

// The system's hidapi, initialised (hid_init); null with `why` set when it cannot start.
std::unique_ptr<Library> OpenSystemLibrary(std::string& why);

}  // namespace fwup::hidapi
