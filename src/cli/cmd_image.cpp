// fwupgrade image: the 64 KiB image that the upgrade would program from a file, written out.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>

#include "cli/cli_error.hpp"
#include "cli/command.hpp"
#include "cli/firmware_file_check.hpp"
#include "cli/option_groups.hpp"
#include "cli/shell_view.hpp"
#include "cli/text_display.hpp"
#include "cli/utf8_path.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  command.add_option("FILE", options.file, "the firmware file")->required();
  command.add_option("-o,--output", options.output, "where to write the 65,536-byte image")
      ->type_name("OUT")
      ->required();
  AddOutputOptions(command, options, false);
}

ExitCode Run(Context& context) {
  TextDisplay display(context.console, true);
  ShellView view(display, context.options.verbose);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(context.options.file), view, view);
  if (!file.accepted) throw CliError(ExitCode::kFileRefused, DescribeRefusal(file) + "; nothing was written");

  const std::string& output = context.options.output;
  std::ofstream out(PathFromUtf8(output), std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(file.image.data()), static_cast<std::streamsize>(file.image.size()));
  out.close();
  if (!out) {
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(output), ignored);  // no half-written image is left behind
    throw CliError(ExitCode::kOutputFailed, "cannot write the image to '" + output +
                                                "': check that its folder exists and that you may write there");
  }
  context.console.out << "Wrote " << output << ": " << file.image.size() << " bytes, " << file.report.written.count()
                      << " of them set by the file, the others 0xFF.\n";
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry ImageCommand() {
  return {"image", "Write the 64 KiB image that flash would program from FILE (0xFF where the file sets nothing)",
          AddOptions, Run};
}

}  // namespace fwup::cli
