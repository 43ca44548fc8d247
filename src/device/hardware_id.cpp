#include "device/hardware_id.hpp"

namespace fwup {

std::uint32_t MatchHardwareId(std::u16string_view HardwareId) {
  std::size_t PatternPosition = 0;
  for (const char16_t character : HardwareId) {
    if (character == 0) break;  // the string ends at its terminator
    // Past the last pattern character the terminating 0 stands in its place.
    const std::uint32_t p = PatternPosition < HardwareIdPattern.size() ? HardwareIdPattern[PatternPosition] : 0;
    const std::uint32_t h = character;
    if (h == p || h + 32 == p) ++PatternPosition;
  }
  return PatternPosition != 0 && PatternPosition == HardwareIdPattern.size() ? 1 : 0;
}

}  // namespace fwup
