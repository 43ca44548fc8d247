// Whole numbers as the tool's options and the simulator's control texts write them.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace fwup {

// The whole of `text` as a number that fits 32 bits, in `base`, or in hex after "0x" when
// `hex_prefix`; no sign, nothing before or after it.
inline bool ParseU32(std::string_view text, std::uint32_t& value, int base = 10, bool hex_prefix = true) {
  if (hex_prefix && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace fwup
