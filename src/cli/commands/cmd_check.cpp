// fwupgrade check: validates a firmware file without a device, as the upgrade would load it.
#include <CLI/CLI.hpp>

#include "cli/arguments/command.hpp"
#include "cli/display/terminal_view.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/firmware_file_check.hpp"
#include "device/boot_report.hpp"
#include "ports/parse_number.hpp"
#include "upgrade/outcome_names.hpp"

namespace fwup::cli {
namespace {

struct Region {
  std::uint32_t start = kModelRegionStart;  // the device model's, when none is given
  std::uint32_t size = kModelRegionSize;
};

// START:SIZE, inside the 64 KiB image.
Region ParseRegion(std::string_view text) {
  const std::string quoted = "--region '" + std::string(text) + "'";
  const auto colon = text.find(':');
  Region region;
  if (colon == std::string_view::npos || !ParseU32(text.substr(0, colon), region.start) ||
      !ParseU32(text.substr(colon + 1), region.size)) {
    throw CliError(ExitCode::kUsage, quoted + ": give START:SIZE, for example 4096:57344 or 0x1000:0xE000");
  }
  if (std::uint64_t{region.start} + region.size > kImageSize) {
    throw CliError(ExitCode::kUsage, quoted + ": the region must end inside the 64 KiB image (START + SIZE <= 65536)");
  }
  return region;
}

void AddOptions(CLI::App& command, Options& options) {
  AddFileArgument(command, options);
  command
      .add_option("--region", options.region,
                  "the device's application region (default 4096:57344, the device model's)")
      ->type_name("START:SIZE")
      ->check(NotEmpty());
  AddOutputOptions(command, options, true);
}

ExitCode Run(Context& context) {
  const Region region = context.options.region.empty() ? Region{} : ParseRegion(context.options.region);
  // The loader's texts are the dialog's; check prints its own summary and shows only trace lines.
  Screen screen(context.console, true, context.options.verbose);
  DeviceView view(screen);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(context.options.file), view, view);

  Json& result = context.result;
  result["file"] = context.options.file;
  result["load"] = NameOf(file.report.outcome);
  result["region"]["start"] = region.start;
  result["region"]["size"] = region.size;
  if (file.report.first_defect) {
    result["first_defect"]["line"] = file.report.first_defect->line;
    result["first_defect"]["reason"] = file.report.first_defect->reason;
  }
  std::ostream& out = context.console.out;
  const bool text = !context.options.json;
  if (text) out << "File: " << context.options.file << '\n';
  if (!file.accepted) {
    result["accepted"] = false;
    if (text) out << "Refused: " << file.dialog_text << '\n';
    throw CliError(ExitCode::kFileRefused, DescribeRefusal(file));
  }

  const Coverage coverage = CoverageOf(file.report.written, region.start, region.size);
  result["end_record_line"] = file.report.end_record_line;
  result["bytes_in_region"] = coverage.inside;
  result["bytes_outside_region"] = coverage.outside;
  result["bytes_above_image"] = file.report.bytes_above_image;
  result["accepted"] = coverage.inside > 0;
  if (text) {
    out << "Signature: TALVORK, valid\n"
        << "End record: line " << file.report.end_record_line << '\n'
        << "Region: " << RegionText(region.start, region.size) << '\n'
        << "Set by the file: " << coverage.inside << " bytes inside the region, " << coverage.outside
        << " outside it\n";
    if (file.report.bytes_above_image > 0) out << "Note: " << AboveImageNote(file) << ".\n";
  }
  if (coverage.inside == 0) {
    if (text) out << "Refused: no byte inside the region\n";
    throw CliError(ExitCode::kFileRefused, DescribeNoCoverage(file.path, region.start, region.size));
  }
  if (text) {
    if (coverage.outside > 0) out << "Note: the bytes outside the region are not programmed.\n";
    out << "Accepted: flash would program this file.\n";
  }
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry CheckCommand() {
  return {"check", "Validate a firmware file without a device; exit 0 only for a file that flash would accept",
          AddOptions, Run};
}

}  // namespace fwup::cli
