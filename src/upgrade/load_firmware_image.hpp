#pragma once

#include <cstdint>
#include <string>

#include "image/parse_firmware.hpp"
#include "ports/trace.hpp"
#include "ports/view.hpp"
#include "upgrade/session.hpp"

namespace fwup {

// The second upgrade stage: opens the file named by ImagePath, parses it into FirmwareImage and
// tells the user what the dialog tells: its status texts, trace lines and boxes. 0 only after an
// obeyed end record; 1627 otherwise. FirmwareFile stays open for the caller to close.
std::uint32_t LoadFirmwareImage(Firmware& firmware, Shown& shown);

// What the dialog shows and traces for a parsed file, in its order; 0 for a loaded one, 1627
// for a refused one.
std::uint32_t ShowLoad(const LoadReport& report, View& view, Tracer& trace);

// What the dialog shows for a refused file: its box's or its status text, on one line.
std::string RefusalText(const LoadReport& report);

}  // namespace fwup
