// Every report that crossed between the tool and a simulated device, in order.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "device/boot_report.hpp"

namespace fwup::sim {

enum class Direction { ToDevice, FromDevice };

struct WireEntry {
  Direction direction;
  BootReport report;

  bool operator==(const WireEntry&) const = default;
};

using WireLog = std::vector<WireEntry>;

// One line per report: ">" for a request the tool wrote, "<" for an answer it read, then the
// 65 bytes as upper-case hex separated by single spaces.
std::string FormatWireEntry(const WireEntry& entry);
void WriteWireLog(std::ostream& out, const WireLog& log);

}  // namespace fwup::sim
