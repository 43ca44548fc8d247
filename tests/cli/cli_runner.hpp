// Runs the command line in the test's own process, as main does, with its output captured; and
// the few files the tests make and read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "ports/hid.hpp"

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

CliRun RunCli(const std::vector<std::string>& args, const RunSetup& setup = {});

// The simulator options every test adds to keep the run fast: no time on the simulated wire.
std::vector<std::string> Args(std::initializer_list<std::string> args);

// A folder of the test's own, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// How many times `part` stands in `text`, overlaps included.
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::string SourcePath(const std::string& relative);  // a file of the repository
std::string SampleFirmware();                         // examples/sample-firmware.hex
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Intel HEX text for data at addresses below 64 KiB, made here and not by the tool: records of
// `per_record` bytes, CR LF line ends, an end record.
std::string HexRecords(const std::map<std::uint32_t, std::vector<std::uint8_t>>& blocks, std::size_t per_record = 16);
// The signature line the device's files begin with.
inline const std::string kSignatureLine = "TALVORK\r\n";

// What a firmware file sets, read independently of the tool: the records after the signature
// line, types 00, 01 and 04 only; every record must be well-formed.
std::map<std::uint32_t, std::uint8_t> ReferenceBytes(const std::string& firmware_path);

}  // namespace fwup::cli::testing
