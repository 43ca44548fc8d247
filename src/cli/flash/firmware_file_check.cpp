#include "cli/flash/firmware_file_check.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "cli/arguments/exit_code.hpp"
#include "cli/display/text.hpp"
#include "os/files.hpp"
#include "ports/report.hpp"
#include "upgrade/load_firmware_image.hpp"

namespace fwup::cli {
namespace {

std::string FileErrorText(std::uint32_t code) {
  static constexpr std::pair<std::uint32_t, const char*> kMeanings[] = {
      {kErrorFileNotFound, "no such file"},
      {kErrorPathNotFound, "no such folder"},
      {kErrorAccessDenied, "access denied, or it is a folder"},
      {kErrorSharingViolation, "another program holds it open"},
  };
  for (const auto& [error, meaning] : kMeanings) {
    if (error == code) return meaning;
  }
  return "error " + std::to_string(code);
}

// Only a regular file is read: a FIFO would hold the tool for ever, a device could be read
// without end. The reason is the system's own: "Too many levels of symbolic links" is not "no
// such file".
void RequireRegularFile(const std::filesystem::path& path) {
  const std::string name = "the firmware file '" + Utf8FromPath(path) + "'";
  if (path.empty()) throw CliError(ExitCode::kFileRefused, "no firmware file was given");
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    throw CliError(ExitCode::kFileRefused,
                   "cannot open " + name + ": " + error.message() + "; check the path and that you may read the file");
  }
  if (status.type() != std::filesystem::file_type::regular) {
    throw CliError(ExitCode::kFileRefused,
                   name + " is " + os::KindOf(status.type()) + ", not a firmware file; give the path of a .hex file");
  }
}

}  // namespace

CheckedFile CheckFirmwareFile(const std::filesystem::path& path, View& view, Trace& trace) {
  RequireRegularFile(path);
  CheckedFile file;
  file.path = path;
  file.report = LoadFirmwareFile(path, file.image, file.read);
  if (file.read.bytes.size() > kMaxFirmwareFileSize) {
    throw CliError(ExitCode::kFileRefused, "the firmware file '" + Utf8FromPath(path) + "' is larger than " +
                                               std::to_string(kMaxFirmwareFileSize >> 20) +
                                               " MiB, far more than a 64 KiB image needs; pick the right file");
  }
  Tracer tracer(trace);
  file.accepted = ShowLoad(file.report, view, tracer) == kStageSuccess;
  if (!file.accepted) file.dialog_text = RefusalText(file.report);
  return file;
}

Coverage CoverageOf(const std::bitset<kImageSize>& written, std::uint32_t start, std::uint32_t size) {
  // The addresses from `start` on, moved down to 0; then those from `size` on, moved out at the top.
  const std::size_t above = kImageSize - std::min<std::size_t>(size, kImageSize);
  const auto inside = static_cast<std::uint32_t>(((written >> start) << above).count());
  return {inside, static_cast<std::uint32_t>(written.count()) - inside};
}

std::string DescribeRefusal(const CheckedFile& file) {
  const LoadReport& report = file.report;
  // Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on "text" + temporary.
  std::string name = "the firmware file '";
  name.append(Utf8FromPath(file.path)).append("'");
  std::string said = " (";
  said.append(file.dialog_text).append(")");
  const std::string unreadable = said + "; check the path and that you may read the file";
  switch (report.outcome) {
    case LoadOutcome::ProbeFailed:
      return "cannot open " + name + ": " + FileErrorText(report.error_code) + unreadable;
    case LoadOutcome::OpenFailed:
      return "cannot open " + name + ": " + std::generic_category().message(static_cast<int>(report.error_code)) +
             unreadable;
    case LoadOutcome::BadSignature:
      return name + " does not begin with the signature TALVORK" + said +
             "; it is not a firmware file for this device: pick the right file";
    case LoadOutcome::EmptyFile:
      return name + " is empty" + said + "; pick the right file";
    case LoadOutcome::DefectiveRecord:
      if (!report.first_defect) return name + " is damaged" + said + "; make the file again";
      return name + " is damaged at line " + std::to_string(report.first_defect->line) + ": " +
             report.first_defect->reason + said + "; mend that line or make the file again";
    case LoadOutcome::MissingEndRecord:
      if (report.lone_carriage_returns) {
        return name + " has no end record that the tool can read: its lines end in CR alone, so records run together" +
               said + "; save the file with CR LF line ends";
      }
      return name + " has no end record (:00000001FF)" + said + "; it may be cut short: make or copy it again";
    case LoadOutcome::ReadError:
      return "reading " + name + " failed" + said + "; copy it to a local disk and try again";
    default:
      return name + " was refused" + said;
  }
}

std::string AboveImageNote(const CheckedFile& file) {
  return std::to_string(file.report.bytes_above_image) + " bytes lie above the 64 KiB image and are ignored";
}

std::string DescribeNoCoverage(const std::filesystem::path& path, std::uint32_t start, std::uint32_t size) {
  return "the firmware file '" + Utf8FromPath(path) + "' sets no byte inside the application region " +
         RegionText(start, size) +
         ": flashing it would erase the application and program nothing; pick the file made for this device, or "
         "give --force to flash it anyway";
}

}  // namespace fwup::cli
