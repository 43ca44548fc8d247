// fwupgrade check: validates a firmware file without a device, as the upgrade would load it.
#include <CLI/CLI.hpp>

#include "cli/cli_error.hpp"
#include "cli/command.hpp"
#include "cli/firmware_file_check.hpp"
#include "cli/option_groups.hpp"
#include "cli/region.hpp"
#include "cli/shell_view.hpp"
#include "cli/text.hpp"
#include "cli/text_display.hpp"
#include "cli/utf8_path.hpp"
#include "upgrade/outcome_names.hpp"

namespace fwup::cli {
namespace {

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
  const Region region = context.options.region.empty() ? DefaultRegion() : ParseRegion(context.options.region);
  // The loader's texts are the dialog's; check prints its own summary and shows only trace lines.
  TextDisplay display(context.console, true);
  ShellView view(display, context.options.verbose);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(context.options.file), view, view);

  Json& result = context.result;
  result["file"] = context.options.file;
  result["load"] = NameOf(file.report.outcome);
  Json json_region = Json::Object();
  json_region["start"] = region.start;
  json_region["size"] = region.size;
  result["region"] = std::move(json_region);
  if (file.report.first_defect) {
    Json defect = Json::Object();
    defect["line"] = file.report.first_defect->line;
    defect["reason"] = file.report.first_defect->reason;
    result["first_defect"] = std::move(defect);
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
