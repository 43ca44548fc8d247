// Small text helpers of the shell.
#pragma once

#include <cstdint>
#include <filesystem>
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

// Rows of cells as the lines of a table: each column as wide as its widest cell and two spaces
// from the next; the last column unpadded or, with `align_last`, right-aligned.
std::vector<std::string> Columns(const std::vector<std::vector<std::string>>& rows, bool align_last = false);

// File names from the command line to paths and back. The shell keeps its arguments in UTF-8,
// but a path made from a plain std::string reads it in the platform's narrow encoding, which on
// Windows is the ANSI code page: a name outside it would not be found. Going through char8_t
// reads and writes UTF-8 everywhere (on Linux and macOS the bytes pass unchanged).
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace fwup::cli
