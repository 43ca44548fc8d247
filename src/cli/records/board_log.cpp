#include "cli/records/board_log.hpp"

#include <chrono>
#include <cstdio>

#include "os/system.hpp"

namespace fwup::cli {
namespace {

CliError LogFailure(const std::string& path, const std::string& why) {
  return CliError(ExitCode::kOutputFailed, "cannot log to '" + path + "': " + why);
}

// The time now in UTC: "2026-12-07T18:40:12.345Z".
std::string UtcTimeNow() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

}  // namespace

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto digest = os::Sha256(bytes);
  std::string text;
  if (!digest) return text;
  for (const std::uint8_t byte : *digest) text += {kHex[byte >> 4], kHex[byte & 0x0F]};
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
  path_ = options.log;
  try {
    log_.emplace(path_);
    if (os::SameFile(path_, options.file)) throw os::FileError("it is the firmware file");
    log_->CheckLock();
  } catch (const os::FileError& error) {
    throw LogFailure(path_, error.what() + std::string("; nothing was flashed"));
  }
  facts_ = {os::HostName(), options.file, file.read.bytes.size(), Sha256Hex(file.read.bytes)};
  if (facts_.file_sha256.empty()) {
    throw LogFailure(path_,
                     "the SHA-256 of the firmware file cannot be computed (this computer lacks OpenSSL's "
                     "libcrypto); nothing was flashed");
  }
}

void BoardRecorder::Record(const DeviceRecord& record, unsigned attempts) {
  if (!log_ || !record.found) return;
  try {
    log_->Append(LogLine(record, attempts, facts_, UtcTimeNow()));
  } catch (const os::FileError& error) {
    const std::lock_guard lock(mutex_);
    if (!failure_) failure_ = LogFailure(path_, error.what());
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
