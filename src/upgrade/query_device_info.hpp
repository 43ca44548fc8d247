#pragma once

#include <cstdint>

namespace fwup {

class Session;

// The first upgrade stage: erases FirmwareImage to 0xFF and asks the device for its application
// region. 0, or 1627 after telling the user.
std::uint32_t QueryDeviceInfo(Session& session);

}  // namespace fwup
