#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace fwup {

namespace detail {
// The digit value of every byte: 0-9, A-F and a-f as hex digits, any other byte its signed value
// minus 48, modulo 65,536.
inline constexpr std::array<std::uint16_t, 256> kHexDigits = [] {
  std::array<std::uint16_t, 256> digits{};
  for (int byte = 0; byte < 256; ++byte) {
    const int as_signed = byte < 128 ? byte : byte - 256;
    digits[byte] = static_cast<std::uint16_t>(as_signed - 48);
    if (byte >= 'A' && byte <= 'F') digits[byte] = static_cast<std::uint16_t>(byte - 'A' + 10);
    if (byte >= 'a' && byte <= 'f') digits[byte] = static_cast<std::uint16_t>(byte - 'a' + 10);
  }
  return digits;
}();
}  // namespace detail

// Value of a field of hex digits, most significant first. Every character of `text` is taken,
// whatever it is: a non-hex byte counts as its signed value minus 48, modulo 65,536, and the
// arithmetic wraps at 32 bits. Callers hand it exactly the characters of the field. Inline: the
// loader calls it for every byte of a file.
inline std::uint32_t ParseHexField(std::span<const std::uint8_t> text) {
  std::uint32_t value = 0;
  // The same sum as weights 1, 16, 256, ... from the last character, modulo 2^32.
  for (const std::uint8_t character : text) value = value * 16 + detail::kHexDigits[character];
  return value;
}

}  // namespace fwup
