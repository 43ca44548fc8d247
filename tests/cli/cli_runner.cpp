#include "cli_runner.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
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

::testing::AssertionResult Has(const JsonValue& json, const JsonValue& expected, const std::string& at) {
  const bool items = (expected.is_object() && json.is_object()) ||
                     (expected.is_array() && json.is_array() && expected.size() == json.size());
  if (!items) {
    if (json == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (at.empty() ? "/" : at) << " is " << json.dump() << ", not "
                                         << expected.dump();
  }
  for (const auto& [key, value] : expected.items()) {
    const std::string path = at + "/" + key;
    const auto result = expected.is_array() ? Has(json.at(std::stoul(key)), value, path)
                                            : Has(json.contains(key) ? json.at(key) : JsonValue(), value, path);
    if (!result) return result;
  }
  return ::testing::AssertionSuccess();
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

::testing::AssertionResult JsonHas(const std::string& document, std::string_view expected) {
  return Has(ParseJson(document), ParseJson(expected), "");
}

std::vector<std::string> Args(std::initializer_list<std::string> args) {
  std::vector<std::string> all(args);
  all.insert(all.end(), {"--sim-transfer-time", "0"});
  return all;
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

std::string HexRecords(const std::map<std::uint32_t, std::vector<std::uint8_t>>& blocks) {
  std::string text;
  for (const auto& [start, bytes] : blocks) text += test::HexData(static_cast<std::uint16_t>(start), bytes);
  return text + test::kEndRecord;
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

::testing::AssertionResult HoldsFile(const std::vector<std::uint8_t>& memory, const std::string& firmware,
                                     std::uint32_t start, std::uint32_t end) {
  if (memory.size() != 65536) return ::testing::AssertionFailure() << memory.size() << " bytes, not 65536";
  const auto file = ReferenceBytes(firmware);
  for (std::uint32_t address = start; address < end; ++address) {
    const auto set = file.find(address);
    const unsigned expected = set == file.end() ? 0xFF : set->second;
    if (memory[address] != expected) {
      return ::testing::AssertionFailure()
             << "address " << address << " holds " << unsigned{memory[address]} << " instead of " << expected;
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ErrorLines(const std::string& err) {
  std::vector<std::string> lines = Lines(err);
  std::erase_if(lines, [](const std::string& line) { return line.rfind("fwupgrade: ", 0) != 0; });
  return lines;
}

std::vector<WireLine> ReadWireLog(const std::string& path) {
  static const std::regex kFormat("^[<>]( [0-9A-F]{2}){65}$");
  std::vector<WireLine> lines;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_match(line, kFormat)) << line;
    WireLine entry{line[0], {}};
    for (std::size_t at = 2; at + 1 < line.size(); at += 3)
      entry.bytes.push_back(static_cast<std::uint8_t>(HexValue(line, at, 2)));
    lines.push_back(std::move(entry));
  }
  return lines;
}

std::vector<int> Requests(const std::string& path) {
  std::vector<int> codes;
  for (const WireLine& line : ReadWireLog(path))
    if (line.direction == '>') codes.push_back(line.bytes.at(1));
  return codes;
}

CliRun Shell(const std::string& command) {
  ScratchDir scratch;
  const std::string out = scratch.File("out"), err = scratch.File("err"), script = scratch.File("run.sh");
  WriteFileText(script, command + "\n");
  const int status = std::system(("bash " + script + " >" + out + " 2>" + err + " </dev/null").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(out), ReadFileText(err)};
}

}  // namespace fwup::cli::testing
