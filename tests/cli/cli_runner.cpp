#include "cli_runner.hpp"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#include "cli/cli.hpp"

namespace fwup::cli::testing {
namespace {

class NoInterfaces : public HidBus {
 public:
  std::unique_ptr<HidEnumeration> Enumerate() override { return nullptr; }
  OpenResult Open(const std::string&, HidAccess) override { return {nullptr, kErrorFileNotFound}; }
};

unsigned HexValue(const std::string& text, std::size_t at, std::size_t digits) {
  return static_cast<unsigned>(std::stoul(text.substr(at, digits), nullptr, 16));
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const RunSetup& setup) {
  std::ostringstream out;
  std::ostringstream err;
  Console console{out, err, setup.terminal};
  Platform platform;
  platform.open_hardware_bus = setup.hardware ? setup.hardware : [](std::string&) -> std::unique_ptr<HidBus> {
    return std::make_unique<NoInterfaces>();
  };
  platform.access_denied_advice = "install the udev rule packaging/udev/70-fwupgrade.rules";
  CliRun run;
  run.exit_code = Run(args, console, platform);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<std::string> Args(std::initializer_list<std::string> args) {
  std::vector<std::string> all(args);
  all.insert(all.end(), {"--sim-transfer-time", "0"});
  return all;
}

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("fwupgrade-cli-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string SourcePath(const std::string& relative) { return std::string(FWUP_SOURCE_DIR) + "/" + relative; }

std::string SampleFirmware() { return SourcePath("examples/sample-firmware.hex"); }

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadFileText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return {bytes.begin(), bytes.end()};
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string HexRecords(const std::map<std::uint32_t, std::vector<std::uint8_t>>& blocks, std::size_t per_record) {
  std::string text;
  const auto record = [&text](std::uint32_t address, unsigned type, const std::uint8_t* data, std::size_t count) {
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(count), address, type);
    text += field;
    unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + type;
    for (std::size_t i = 0; i < count; ++i) {
      std::snprintf(field, sizeof field, "%02X", data[i]);
      text += field;
      sum += data[i];
    }
    std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += field;
  };
  for (const auto& [start, bytes] : blocks) {
    for (std::size_t at = 0; at < bytes.size(); at += per_record) {
      record(static_cast<std::uint32_t>(start + at), 0x00, bytes.data() + at, std::min(per_record, bytes.size() - at));
    }
  }
  record(0, 0x01, nullptr, 0);
  return text;
}

std::map<std::uint32_t, std::uint8_t> ReferenceBytes(const std::string& firmware_path) {
  std::istringstream lines(ReadFileText(firmware_path));
  std::string line;
  std::getline(lines, line);  // the signature line
  std::map<std::uint32_t, std::uint8_t> bytes;
  std::uint32_t upper = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 11 || line[0] != ':') throw std::runtime_error("not a record: " + line);
    const unsigned count = HexValue(line, 1, 2);
    const unsigned address = HexValue(line, 3, 4);
    const unsigned type = HexValue(line, 7, 2);
    if (line.size() != 11 + 2 * count) throw std::runtime_error("wrong length: " + line);
    unsigned sum = 0;
    for (std::size_t at = 1; at < line.size(); at += 2) sum += HexValue(line, at, 2);
    if ((sum & 0xFF) != 0) throw std::runtime_error("bad checksum: " + line);
    if (type == 0x01) break;
    if (type == 0x04) upper = HexValue(line, 9, 4);
    if (type != 0x00) continue;
    for (unsigned k = 0; k < count; ++k) {
      bytes[(upper << 16) + address + k] = static_cast<std::uint8_t>(HexValue(line, 9 + 2 * k, 2));
    }
  }
  return bytes;
}

}  // namespace fwup::cli::testing
