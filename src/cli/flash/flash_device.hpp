// One device's whole flash: connect as the dialog does when it starts, then the upgrade as
// "Load Image" runs it, with the shell's own check before the erase. Used for one device and,
// side by side, for every device of flash --all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/display/terminal_view.hpp"
#include "cli/flash/devices.hpp"
#include "cli/flash/firmware_file_check.hpp"

namespace fwup::cli {

struct FlashSettings {
  bool force = false;               // flash a file that sets no byte of the region
  std::optional<std::string> only;  // the path or location of the interface to use
  std::string_view access_denied_advice;
  bool stoppable = true;       // a stop ends the run between requests; flash --watch lets it finish
  bool erased_before = false;  // an earlier attempt on this board sent the erase (flash --watch)
};

// `file` has been accepted by CheckFirmwareFile; nothing but its bytes is ever programmed.
DeviceRecord FlashDevice(HidBus& bus, const CheckedFile& file, const FlashSettings& settings, DeviceView& view);

// FlashDevice on a thread of its own beside others (flash --all, --watch): an unexpected failure
// becomes this device's record ("Internal Error") instead of leaving the thread, and the record
// names the path it was given when no device was reached there.
DeviceRecord FlashDeviceBeside(HidBus& bus, const CheckedFile& file, const FlashSettings& settings, DeviceView& view);

}  // namespace fwup::cli
