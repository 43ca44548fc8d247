#include "image/parse_hex_field.hpp"

#include <array>

namespace fwup {
namespace {

// The digit value of every byte: 0-9, A-F and a-f as hex digits, any other byte its signed value
// minus 48, modulo 65,536.
constexpr std::array<std::uint16_t, 256> kDigits = [] {
  std::array<std::uint16_t, 256> digits{};
  for (int byte = 0; byte < 256; ++byte) {
    const int as_signed = byte < 128 ? byte : byte - 256;
    digits[byte] = static_cast<std::uint16_t>(as_signed - 48);
    if (byte >= 'A' && byte <= 'F') digits[byte] = static_cast<std::uint16_t>(byte - 'A' + 10);
    if (byte >= 'a' && byte <= 'f') digits[byte] = static_cast<std::uint16_t>(byte - 'a' + 10);
  }
  return digits;
}();

}  // namespace

std::uint32_t ParseHexField(std::span<const std::uint8_t> text) {
  std::uint32_t value = 0;
  // Most significant first: the same sum as weights 1, 16, 256, ... from the last character.
  for (const std::uint8_t character : text) value = value * 16 + kDigits[character];
  return value;
}

}  // namespace fwup
