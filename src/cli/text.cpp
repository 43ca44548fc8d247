#include "cli/text.hpp"

#include <cstdio>

namespace fwup::cli {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string RegionText(std::uint32_t start, std::uint32_t size) {
  if (size == 0) return "empty, at " + Hex(start);
  return Hex(start) + "-" + Hex(static_cast<std::uint32_t>(start + size - 1)) + " (" + std::to_string(size) + " bytes)";
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string OneLine(std::string_view text) {
  std::string joined;
  for (const std::string& line : Lines(text)) {
    if (!joined.empty()) joined += " / ";
    joined += line;
  }
  return joined;
}

}  // namespace fwup::cli
