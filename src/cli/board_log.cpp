#include "cli/board_log.hpp"

#include <fstream>
#include <iterator>

#include "fwupgrade_version.hpp"
#include "upgrade/outcome_names.hpp"

namespace fwup::cli {
namespace {

std::string LowerHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace

BoardRecorder::BoardRecorder(const Options& options, const CheckedFile& file) {
  if (options.log.empty()) return;
  log_.emplace(options.log, std::vector<std::string>{options.file});
  std::ifstream in(file.path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad() || FileStampOf(file.path) != file.stamp) {
    throw CliError(ExitCode::kFileRefused,
                   "the firmware file '" + options.file + "' changed after it was checked; no device was touched");
  }
  file_ = Json::Object();
  file_["file"] = options.file;
  file_["file_size"] = static_cast<std::uint64_t>(bytes.size());
  const auto digest = Sha256(bytes);
  file_["file_sha256"] = digest ? LowerHex(*digest) : std::string();
  host_ = HostName();
}

void BoardRecorder::Record(const DeviceRecord& record, unsigned attempts) {
  if (!log_ || !record.found) return;
  Json line = Json::Object();
  line["time"] = UtcTimeNow();
  line["tool"] = std::string("fwupgrade ").append(kVersion);  // not "..." + temporary: g++ 12 warns falsely
  line["host"] = host_;
  line["location"] = record.location.empty() ? Json() : Json(record.location);
  line["path"] = record.path;
  line["versions"] = VersionsJson(record.versions);
  for (const char* key : {"file", "file_size", "file_sha256"}) line[key] = file_[key];
  line["verdict"] = NameOf(record.run.verdict);
  line["failed_step"] = FailedStep(record);
  line["result"] = record.result;
  line["exit_code"] = ToInt(record.code);
  line["attempts"] = attempts;
  line["seconds"] = record.seconds;
  try {
    log_->Append(line.Line());
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
