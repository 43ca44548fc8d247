// Runs the command line in the test's own process, as main does, with its output captured; and
// the few files the tests make and read.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.hpp"
#include "cli/arguments/exit_code.hpp"
#include "ports/hid.hpp"
#include "support/test_support.hpp"

namespace fwup::cli::testing {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

struct RunSetup {
  TerminalInfo terminal;  // not a terminal unless a test says so
  // What the platform's HID bus is; by default one without interfaces.
  std::function<std::unique_ptr<HidBus>(std::string&)> hardware;
};

// What --json printed, read by a JSON library of its own, so that tests look at its shape rather
// than its spelling, and a document it does not take fails the test. Members keep their order.
using JsonValue = nlohmann::ordered_json;
inline JsonValue ParseJson(std::string_view text) { return JsonValue::parse(text); }
// The document has every member that `expected` (JSON text) names, objects and arrays compared
// item by item, so that a test names only what it is about; null stands for null or absent.
::testing::AssertionResult JsonHas(const std::string& document, std::string_view expected);

CliRun RunCli(const std::vector<std::string>& args, const RunSetup& setup = {});

constexpr int Code(ExitCode code) { return ToInt(code); }

// The simulator options every test adds to keep the run fast: no time on the simulated wire.
std::vector<std::string> Args(std::initializer_list<std::string> args);

using test::ScratchDir;

// How many times `part` stands in `text`, overlaps included.
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// `text` holds `part`; a failure shows the whole text.
inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  return (text.find(part) != std::string::npos ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
         << "'" << part << "' in: " << text;
}

std::string SourcePath(const std::string& relative);  // a file of the repository
std::string SampleFirmware();                         // examples/sample-firmware.hex
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Intel HEX text for data at addresses below 64 KiB, made here and not by the tool: records of
// 16 bytes, CR LF line ends, an end record.
std::string HexRecords(const std::map<std::uint32_t, std::vector<std::uint8_t>>& blocks);
// The signature line the device's files begin with.
inline const std::string kSignatureLine = "TALVORK\r\n";

// The simulated boot loader's application region.
inline constexpr std::uint32_t kRegionStart = 4096;
inline constexpr std::uint32_t kRegionSize = 57344;
// What the simulated device holds before it is flashed (the simulator's pattern).
inline std::uint8_t OldByte(std::uint32_t address) { return static_cast<std::uint8_t>(address * 7 + 3); }

// Addresses from `start` up to `end` hold what the firmware file sets there, 0xFF where it
// sets nothing.
::testing::AssertionResult HoldsFile(const std::vector<std::uint8_t>& memory, const std::string& firmware,
                                     std::uint32_t start = kRegionStart,
                                     std::uint32_t end = kRegionStart + kRegionSize);

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);
// The lines of stderr that the shell wrote itself ("fwupgrade: ...").
std::vector<std::string> ErrorLines(const std::string& err);

// A --sim-log: one line per report, '>' for a request and '<' for an answer, then its 65 bytes.
struct WireLine {
  char direction;
  std::vector<std::uint8_t> bytes;
};
std::vector<WireLine> ReadWireLog(const std::string& path);
// The codes of the requests in a --sim-log.
std::vector<int> Requests(const std::string& path);

// A command run by bash with standard input empty, for the tests that run the programs.
CliRun Shell(const std::string& command);
inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }
#ifdef FWUPGRADE_PROGRAM
inline std::string Program() { return FWUPGRADE_PROGRAM; }
#endif

// What a firmware file sets, read independently of the tool: the records after the signature
// line, types 00, 01 and 04 only; every record must be well-formed.
std::map<std::uint32_t, std::uint8_t> ReferenceBytes(const std::string& firmware_path);

}  // namespace fwup::cli::testing
