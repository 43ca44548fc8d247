// fwupgrade flash --watch: a production line. Every device that enters Firmware Upgrade Mode is
// flashed as it appears, each on its own thread beside the others, until Ctrl-C (boards in
// progress finish) or --count boards have ended. A line per board as it ends; on a terminal, a
// live table of the slots.
#pragma once

#include "cli/arguments/command.hpp"
#include "cli/flash/firmware_file_check.hpp"
#include "cli/records/board_log.hpp"

namespace fwup::cli {

// `file` has been accepted by CheckFirmwareFile. Exit code 0 only when every board ended with
// CRC Matched.
ExitCode FlashWatch(Context& context, const CheckedFile& file, BoardRecorder& recorder);

}  // namespace fwup::cli
