#include "cli/board_log.hpp"

namespace fwup::cli {

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto digest = Sha256(bytes);
  std::string text;
  for (const std::uint8_t byte : digest ? std::span<const std::uint8_t>(*digest) : std::span<const std::uint8_t>()) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

BoardRecorder::BoardRecorder(const Options& options, const CheckedFile& file) {
  if (options.log.empty()) return;
  // A read that failed after the end record leaves the file's digest unknown.
  if (file.read.read_failed) {
    throw CliError(ExitCode::kFileRefused, "reading the firmware file '" + options.file +
                                               "' failed after its end record, so the log could not name its "
                                               "SHA-256; copy it to a local disk and try again; no device was touched");
  }
  log_.emplace(options.log, std::vector<std::string>{options.file});
  facts_ = {HostName(), options.file, file.read.bytes.size(), Sha256Hex(file.read.bytes)};
  if (facts_.file_sha256.empty()) {
    throw CliError(ExitCode::kOutputFailed, "cannot log to '" + options.log +
                                                "': the SHA-256 of the firmware file cannot be computed (this "
                                                "computer lacks OpenSSL's libcrypto); nothing was flashed");
  }
}

void BoardRecorder::Record(const DeviceRecord& record, unsigned attempts) {
  if (!log_ || !record.found) return;
  try {
    log_->Append(LogLine(record, attempts, facts_, UtcTimeNow()));
  } catch (const CliError& error) {
    const std::lock_guard lock(mutex_);
    if (!failure_) failure_ = error;
  }
}

void BoardRecorder::Finish(ExitCode code, Console& console) const {
  if (!failure_) return;
  if (code == ExitCode::kSuccess) {
    throw CliError(ExitCode::kOutputFailed,
                   std::string(failure_->what()) + "; the boards were flashed, but not every one is in the log");
  }
  console.err << "fwupgrade: " << failure_->what() << "; not every board is in the log\n";
}

}  // namespace fwup::cli
