// fwupgrade image: the 64 KiB image that the upgrade would program from a file, written out.
#include <CLI/CLI.hpp>

#include "cli/arguments/command.hpp"
#include "cli/display/terminal_view.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/firmware_file_check.hpp"
#include "cli/flash/stop_request.hpp"
#include "cli/records/output_file.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  AddFileArgument(command, options);
  command.add_option("-o,--output", options.output, "where to write the 65,536-byte image")
      ->type_name("OUT")
      ->check(NotEmpty())
      ->required();
  AddOutputOptions(command, options, false);
}

ExitCode Run(Context& context) {
  Screen screen(context.console, true, context.options.verbose);
  DeviceView view(screen);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(context.options.file), view, view);
  if (!file.accepted) throw CliError(ExitCode::kFileRefused, DescribeRefusal(file) + "; nothing was written");

  const std::string& output = context.options.output;
  if (StopRequested())
    throw CliError(ExitCode::kInterrupted, "stopped before the image was written; nothing was written");
  WriteOutputFile({output, "the image"}, file.image, {{context.options.file, kFirmwareFile}});
  context.console.out << "Wrote " << output << ": " << file.image.size() << " bytes, " << file.report.written.count()
                      << " of them set by the file, the others 0xFF.\n";
  if (file.report.bytes_above_image > 0) context.console.out << "Note: " << AboveImageNote(file) << ".\n";
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry ImageCommand() {
  return {"image", "Write the 64 KiB image that flash would program from FILE (0xFF where the file sets nothing)",
          AddOptions, Run};
}

}  // namespace fwup::cli
