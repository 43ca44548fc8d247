#pragma once

#include <cstdint>

namespace fwup {

class Session;

// The second upgrade stage: opens the file named by ImagePath, checks its signature and loads
// its records into FirmwareImage. 0 only after an obeyed end record; 1627 otherwise, having told
// the user. FirmwareFile stays open for the caller to close.
std::uint32_t LoadFirmwareImage(Session& session);

}  // namespace fwup
