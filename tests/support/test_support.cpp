#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>

#include "sim/fault.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/program_device.hpp"
#include "upgrade/query_device_info.hpp"

namespace fwup::test {

bool RecordingTrace::Has(std::string_view line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t RecordingTrace::CountPrefix(std::string_view prefix) const {
  return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
}

Box FailureBox(std::string text, BoxOwner owner) { return {std::move(text), "Firmware Upgrade", 0x0, owner}; }
// MB_TOPMOST | MB_ICONWARNING
Box VerdictBox(std::string text, BoxOwner owner) {
  return {std::move(text), "Message", 0x40030, owner, BoxKind::Verdict};
}

void Connect(Session& session) {
  session.versions = ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
}

std::uint32_t QueryInfo(Session& session) {
  const auto info = QueryDeviceInfo(session.connection, session.settings, session.firmware.FirmwareImage, session.shown,
                                    session.outcome);
  if (info) session.DeviceInfo = *info;
  return info ? kStageSuccess : kErrorFunctionFailed;
}

std::uint32_t Program(Session& session) {
  session.outcome = ProgramDevice(session.connection, session.settings, session.firmware.FirmwareImage,
                                  session.DeviceInfo, session.shown);
  return session.outcome.step == RunStep::Done ? kStageSuccess : kErrorFunctionFailed;
}

Rig::Rig(sim::BootLoaderConfig config) : bus(sim::SimBus::WithBootLoader(config)), session(*bus, view, trace) {}

void Rig::AddFault(const std::string& fault) {
  std::string why;
  const std::optional<sim::Fault> parsed = sim::ParseFault(fault, &why);
  ASSERT_TRUE(parsed) << fault << ": " << why;
  Device().AddFault(*parsed);
}

std::vector<BootReport> Requests(const sim::WireLog& log) {
  std::vector<BootReport> requests;
  for (const sim::WireEntry& entry : log)
    if (entry.direction == sim::Direction::ToDevice) requests.push_back(entry.report);
  return requests;
}

BootReport Report(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
  BootReport report{};
  report[1] = code;
  std::copy(payload.begin(), payload.end(), report.begin() + 2);
  return report;
}

std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data,
                      const char* line_end) {
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                     static_cast<std::uint8_t>(address & 0xFF), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (const std::uint8_t byte : bytes) sum += byte;
  bytes.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
  std::string line = ":";
  char digits[3];
  for (const std::uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    line += digits;
  }
  return line + line_end;
}

std::string HexData(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  std::string text;
  for (std::size_t at = 0; at < data.size(); at += 16) {
    const auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min(at + 16, data.size()));
    text += HexRecord(0x00, static_cast<std::uint16_t>(address + at),
                      {data.begin() + static_cast<std::ptrdiff_t>(at), end});
  }
  return text;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> next{0};
  path_ = std::filesystem::temp_directory_path() /
          ("fwup-test-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TempFile::TempFile(const std::string& content) { std::ofstream(Path(), std::ios::binary) << content; }

}  // namespace fwup::test
