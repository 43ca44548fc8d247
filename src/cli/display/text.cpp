#include "cli/display/text.hpp"

#include <algorithm>
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

std::vector<std::string> Columns(const std::vector<std::vector<std::string>>& rows, bool align_last) {
  std::vector<std::size_t> width;
  for (const auto& row : rows) {
    width.resize(std::max(width.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string& line = lines.emplace_back();
    for (std::size_t i = 0; i + 1 < row.size(); ++i) line += row[i] + std::string(width[i] - row[i].size() + 2, ' ');
    if (!row.empty()) line += std::string(align_last ? width[row.size() - 1] - row.back().size() : 0, ' ') + row.back();
  }
  return lines;
}

}  // namespace fwup::cli
