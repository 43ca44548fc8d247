// Which HID interface is the target: its hardware ID holds the pattern as a subsequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fwup {

// The letters' case matters: a hardware-ID character matches a pattern character when the two
// are equal or when the ID's character plus 32 equals it, so "VID_7E51" matches "Vid_7e51" but
// "vid" does not match "Vid".
inline constexpr std::u16string_view HardwareIdPattern = u"Vid_7e51&Pid_0a3d";

// Characters of a hardware ID that are compared; the walk keeps at most this many.
inline constexpr std::size_t kHardwareIdCapacity = 259;

// 1 for a match, 0 otherwise. Ends on hardware IDs of any length.
std::uint32_t MatchHardwareId(std::u16string_view HardwareId);

}  // namespace fwup
