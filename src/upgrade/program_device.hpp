#pragma once

#include <cstdint>
#include <span>

#include "upgrade/session.hpp"

namespace fwup {

// The last upgrade stage: erase, device active check, program the region of `image` in packets,
// end, checksum verdict, reset. Its outcome's step is Done once the reset is written, whatever
// the verdict; otherwise the step whose transfer failed (having told the user) or Interrupted.
RunOutcome ProgramDevice(Connection& connection, const RunSettings& settings, const ImageBuffer& image,
                         const DeviceInfoValues& info, Shown& shown);

// The 8-bit XOR of the bytes.
std::uint8_t ImageChecksum(std::span<const std::uint8_t> region);

}  // namespace fwup
