// The HID bus of Windows: the SetupAPI walk over the present HID interfaces and CreateFileW
// opens of a device path. A translation only: the order of the walk, the matching and what is
// done with a match are the core's.
#pragma once

#include <memory>
#include <string>

#include "ports/hid.hpp"

namespace fwup::win32 {

class SetupApiBus : public HidBus {
 public:
  // A device information set of the present devices with the HID interface class
  // (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); the set is destroyed with the enumeration.
  std::unique_ptr<HidEnumeration> Enumerate() override;
  // Write side with GENERIC_WRITE, read side with GENERIC_READ; both share read and write,
  // OPEN_EXISTING. See handle_link.hpp for why the handles are overlapped.
  OpenResult Open(const std::string& path, HidAccess access) override;
};

}  // namespace fwup::win32
