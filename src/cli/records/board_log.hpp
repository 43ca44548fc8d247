// --log: one JSON line for every board flashed, appended to a file that a bench keeps all day.
// Several processes may log to one file, and jq reads it line by line, so a line is whole or
// absent: the platform's os::AppendFile appends under one exclusive lock on the file. Nothing that
// was in the file is ever removed or rewritten.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "cli/arguments/command.hpp"
#include "cli/flash/firmware_file_check.hpp"
#include "cli/records/device_record.hpp"
#include "os/files.hpp"

namespace fwup::cli {

// The SHA-256 of `bytes` in lower-case hex; empty when the platform's digest failed.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// --log for every form of flash: a line for every board the tool found, with what was flashed
// into it and how it ended. Nothing without --log.
class BoardRecorder {
 public:
  // Opens the log for appending (creating it when missing) and takes the digest of the bytes that
  // were checked, before any device is touched. Refuses, with CliError(kOutputFailed), a log that
  // is not a regular file, cannot be written or locked, or is the firmware file.
  BoardRecorder(const Options& options, const CheckedFile& file);

  // Appends the board's line; a failure to log is kept and told by Finish. Safe from several
  // threads. `attempts`: how often the board was flashed (flash --watch tries a failed one again).
  void Record(const DeviceRecord& record, unsigned attempts = 1);

  // After the boards: a board whose line could not be written is an output failure when nothing
  // worse happened (`code` kSuccess); otherwise it is said beside the worse on standard error.
  void Finish(ExitCode code, Console& console) const;

 private:
  std::string path_;
  std::optional<os::AppendFile> log_;
  LogFacts facts_;
  std::mutex mutex_;
  std::optional<CliError> failure_;
};

}  // namespace fwup::cli
