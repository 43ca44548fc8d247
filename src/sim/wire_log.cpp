#include "sim/wire_log.hpp"

#include <ostream>

namespace fwup::sim {

std::string FormatWireEntry(const WireEntry& entry) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line(1, entry.direction == Direction::ToDevice ? '>' : '<');
  for (const std::uint8_t byte : entry.report) {
    line += ' ';
    line += kHex[byte >> 4];
    line += kHex[byte & 0x0F];
  }
  return line;
}

void WriteWireLog(std::ostream& out, const WireLog& log) {
  for (const WireEntry& entry : log) out << FormatWireEntry(entry) << '\n';
}

}  // namespace fwup::sim
