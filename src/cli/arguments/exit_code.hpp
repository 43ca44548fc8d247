// The exit codes of fwupgrade, all in one table: each kind of outcome has its own small code,
// and --help and the README show this table. A failure the shell reports is a CliError: its exit
// code and one line that names the cause and what to do, thrown by the commands and caught once
// in Run.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fwup::cli {

enum class ExitCode : int {
  kSuccess = 0,
  kMismatch = 1,
  kUsage = 2,
  kDeviceNotFound = 3,
  kDeviceFailure = 4,
  kFileRefused = 5,
  kNoVerdict = 6,
  kNotAllMatched = 7,
  kOutputFailed = 8,
  kInternal = 9,
  kInterrupted = 10,
};

struct ExitCodeRow {
  ExitCode code;
  std::string_view kind;  // the name JSON output gives it
  std::string_view meaning;
};

inline constexpr std::array<ExitCodeRow, 11> kExitCodes = {{
    {ExitCode::kSuccess, "success", "done; for flash: the device confirmed the firmware (CRC Matched)"},
    {ExitCode::kMismatch, "mismatch", "the device judged the programmed firmware wrong (CRC Not Matched)"},
    {ExitCode::kUsage, "usage", "the command line is wrong"},
    {ExitCode::kDeviceNotFound, "device-not-found", "no device in Firmware Upgrade Mode is present (at --path)"},
    {ExitCode::kDeviceFailure, "device-failure", "the device could not be opened, or a transfer with it failed"},
    {ExitCode::kFileRefused, "file-refused", "the firmware file cannot be read, or it is refused"},
    {ExitCode::kNoVerdict, "no-verdict", "the device answered the checksum request without a verdict"},
    {ExitCode::kNotAllMatched, "not-all-matched",
     "flash --all, flash --watch: not every device ended with CRC Matched"},
    {ExitCode::kOutputFailed, "output-failed",
     "an output (-o, --sim-dump, --sim-log, --log, --wire-log, standard output) cannot be written"},
    {ExitCode::kInternal, "internal", "the tool itself failed; please report it"},
    {ExitCode::kInterrupted, "interrupted",
     "stopped by Ctrl-C or SIGTERM before the end; the message says where each device was left"},
}};

constexpr int ToInt(ExitCode code) { return static_cast<int>(code); }
constexpr std::string_view KindOf(ExitCode code) {
  for (const ExitCodeRow& row : kExitCodes) {
    if (row.code == code) return row.kind;
  }
  return "internal";
}

class CliError : public std::runtime_error {
 public:
  CliError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace fwup::cli
