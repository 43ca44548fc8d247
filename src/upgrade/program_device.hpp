#pragma once

#include <cstdint>
#include <span>

namespace fwup {

class Session;

// The last upgrade stage: erase, device active check, program the region in packets, end,
// checksum verdict, reset. 0 once the reset is written, whatever the verdict; 1627 when a
// transfer failed, having told the user.
std::uint32_t ProgramDevice(Session& session);

// The 8-bit XOR of the bytes.
std::uint8_t ImageChecksum(std::span<const std::uint8_t> region);

}  // namespace fwup
