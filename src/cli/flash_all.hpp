// flash --all: a factory bench flashes every device in Firmware Upgrade Mode at once. Each
// device gets its own session of the core and its own link, on its own thread; one failing never
// stops or disturbs the others.
#pragma once

#include "cli/command.hpp"
#include "cli/firmware_file_check.hpp"

namespace fwup::cli {

// `file` was checked once, before any device is touched. Success only when every device ended
// with the match verdict; throws CliError(kNotAllMatched) otherwise.
ExitCode FlashAll(Context& context, const CheckedFile& file);

}  // namespace fwup::cli
