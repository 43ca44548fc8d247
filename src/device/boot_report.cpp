#include "device/boot_report.hpp"

#include <algorithm>

namespace fwup {

void SetCommand(BootReport& report, Command command) {
  report[field::kReportId] = 0;
  report[field::kCode] = CodeOf(command);
}

void SetProgramWrite(BootReport& report, std::uint32_t address, std::span<const std::uint8_t> data) {
  SetCommand(report, Command::CMD_PROGRAM_WRITE);
  for (std::size_t i = 0; i < 4; ++i) {
    report[field::kPacketAddress + i] = static_cast<std::uint8_t>(address >> (8 * i));
  }
  const std::size_t n = std::min<std::size_t>(data.size(), kPacketDataCapacity);
  const auto area = std::span(report).subspan(field::kPacketData);
  std::copy_n(data.begin(), n, area.begin());
  std::fill(area.begin() + static_cast<std::ptrdiff_t>(n), area.end(), std::uint8_t{0});
  report[field::kPacketCount] = static_cast<std::uint8_t>(n);
}

std::uint32_t ReadU32(std::span<const std::uint8_t> report, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && offset + i < report.size(); ++i) {
    value |= static_cast<std::uint32_t>(report[offset + i]) << (8 * i);
  }
  return value;
}

std::span<const std::uint8_t> ReadBytes(std::span<const std::uint8_t> report, std::size_t offset, std::size_t length) {
  if (offset >= report.size()) return {};
  return report.subspan(offset, std::min(length, report.size() - offset));
}

void TraceAnswerDump(Tracer& trace, const BootReport& answer) {
  for (std::size_t i = 0; i < answer.size(); ++i) {
    trace.Format("Rawdata[%lu] = 0x%X\r\n", static_cast<unsigned long>(i), static_cast<unsigned>(answer[i]));
  }
}

}  // namespace fwup
