#include "image/parse_hex_field.hpp"

namespace fwup {
namespace {

std::uint32_t DigitOf(std::uint8_t character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'A' && character <= 'F') return character - 'A' + 10u;
  if (character >= 'a' && character <= 'f') return character - 'a' + 10u;
  const int as_signed = static_cast<std::int8_t>(character);
  return static_cast<std::uint16_t>(as_signed - 48);
}

}  // namespace

std::uint32_t ParseHexField(std::span<const std::uint8_t> text) {
  std::uint32_t value = 0;
  std::uint32_t weight = 1;
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    value += DigitOf(*it) * weight;
    weight *= 16;
  }
  return value;
}

}  // namespace fwup
