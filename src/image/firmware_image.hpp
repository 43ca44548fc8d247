#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fwup {

// Byte i is the firmware byte for device address i.
inline constexpr std::size_t kImageSize = 65536;
inline constexpr std::uint8_t kErasedByte = 0xFF;
using ImageBuffer = std::array<std::uint8_t, kImageSize>;

}  // namespace fwup
