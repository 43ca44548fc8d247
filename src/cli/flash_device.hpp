// One device's whole flash: connect as the dialog does when it starts, then the upgrade as
// "Load Image" runs it, with the shell's own check before the erase. Used for one device and,
// side by side, for every device of flash --all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/exit_code.hpp"
#include "cli/firmware_file_check.hpp"
#include "cli/shell_view.hpp"
#include "ports/hid.hpp"
#include "upgrade/session.hpp"

namespace fwup::cli {

struct FlashSettings {
  bool force = false;                    // flash a file that sets no byte of the region
  std::optional<std::string> only_path;  // the interface to use
  std::string_view access_denied_advice;
};

struct DeviceOutcome {
  std::string path;  // of the interface used; empty when none was found
  bool app_version_taken = false;
  bool boot_version_taken = false;
  std::string app_version;  // before the upgrade
  std::string boot_version;
  std::optional<DeviceInfoValues> region;
  RunOutcome run;
  ExitCode code = ExitCode::kInternal;
  std::string error;   // one line; empty on success
  std::string result;  // for a summary: "CRC Matched", "Program Write Failed", ...
  double seconds = 0;
};

// `file` has been accepted by CheckFirmwareFile; nothing but its bytes is ever programmed.
DeviceOutcome FlashDevice(HidBus& bus, const CheckedFile& file, const FlashSettings& settings, ShellView& view);

}  // namespace fwup::cli
