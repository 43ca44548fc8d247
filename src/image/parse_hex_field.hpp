#pragma once

#include <cstdint>
#include <span>

namespace fwup {

// Value of a field of hex digits, most significant first. Every character of `text` is taken,
// whatever it is: a non-hex byte counts as its signed value minus 48, modulo 65,536, and the
// arithmetic wraps at 32 bits. Callers hand it exactly the characters of the field.
std::uint32_t ParseHexField(std::span<const std::uint8_t> text);

}  // namespace fwup
