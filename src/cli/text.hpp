// Small text helpers of the shell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ports/utf8.hpp"

namespace fwup::cli {

// "0x1000"; at least `digits` hex digits, upper case.
std::string Hex(std::uint32_t value, int digits = 4);

// "0x1000-0xEFFF (57344 bytes)", or "empty, at 0x1000".
std::string RegionText(std::uint32_t start, std::uint32_t size);

// The lines of a text from the core, whose line breaks are "\r\n"; a final break ends the last
// line rather than starting an empty one.
std::vector<std::string> Lines(std::string_view text);

// A box text on one line: its lines joined by " / ".
std::string OneLine(std::string_view text);

}  // namespace fwup::cli
