// The HID bus of Linux and macOS, over hidapi: the interfaces in hidapi's order, each with a
// Windows-style hardware ID so that the one matching rule serves every platform, and a link per
// direction (two opens of the same path) that speaks whole 65-byte reports.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "hidapi/hidapi_library.hpp"
#include "ports/hid.hpp"

namespace fwup::hidapi {

// An errno value as the platform error code the core and the shells understand. Never 0: a
// failed call that reported 0 is still a failure.
std::uint32_t PlatformErrorOf(int error);

class HidapiBus : public HidBus {
 public:
  explicit HidapiBus(std::unique_ptr<Library> library);

  std::unique_ptr<HidEnumeration> Enumerate() override;
  OpenResult Open(const std::string& path, HidAccess access) override;

 private:
  std::unique_ptr<Library> library_;
  // hidapi keeps the error of enumerate and open in one process-wide slot; devices flashed
  // side by side must not walk and open at the same time.
  std::mutex mutex_;
};

}  // namespace fwup::hidapi
