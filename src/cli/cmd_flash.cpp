// fwupgrade flash: connects as the dialog does when it starts, then runs the whole upgrade as
// "Load Image" does; with --all, on every device at once.
#include <CLI/CLI.hpp>

#include "cli/cli_error.hpp"
#include "cli/command.hpp"
#include "cli/device_selection.hpp"
#include "cli/firmware_file_check.hpp"
#include "cli/flash_all.hpp"
#include "cli/flash_device.hpp"
#include "cli/flash_report.hpp"
#include "cli/option_groups.hpp"
#include "cli/text_display.hpp"
#include "cli/utf8_path.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  AddFileArgument(command, options);
  CLI::Option* all = command.add_flag(
      "--all", options.all,
      "flash every device in Firmware Upgrade Mode at once, each on its own; exit 0 only when all of them end with "
      "CRC Matched");
  command.add_flag("--force", options.force,
                   "flash even a file that sets no byte inside the device's application region (which erases the "
                   "application and programs nothing but 0xFF)");
  AddDeviceOptions(command, options, true);
  all->excludes(command.get_option("--path"));
  AddSimulatorOptions(command, options, true);
  AddOutputOptions(command, options, true);
}

ExitCode Run(Context& context) {
  const Options& options = context.options;
  context.devices = DeviceSource::Create(options, context.platform);
  context.result["file"] = options.file;

  // The file is loaded and checked before any device is touched; the run's own load shows the
  // dialog's texts later.
  TextDisplay silent(context.console, true);
  ShellView check_view(silent, false);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(options.file), check_view, check_view);
  if (!file.accepted) {
    context.result["step"] = "load-image";
    context.result["failed_step"] = "load-image";
    context.result["verdict"] = "none";
    context.result["result"] = file.dialog_text;
    throw CliError(ExitCode::kFileRefused, DescribeRefusal(file) + "; no device was touched");
  }
  context.result["bytes_above_image"] = file.report.bytes_above_image;
  if (file.report.bytes_above_image > 0) silent.Note("note: " + AboveImageNote(file));
  // The simulator's files are checked now: a name that cannot be written stops the run before
  // a device is touched.
  context.devices->CheckSimOutputs(options);

  if (options.all) return FlashAll(context, file);

  TextDisplay display(context.console, options.json);
  SelectDevices(context, display);
  ShellView view(display, options.verbose);
  const DeviceOutcome outcome = FlashDevice(context.devices->bus(), file,
                                            {options.force, options.path, context.platform.access_denied_advice}, view);
  display.Finish();
  AddDeviceJson(context.result, outcome, view.record());
  if (outcome.code != ExitCode::kSuccess) throw CliError(outcome.code, outcome.error);
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry FlashCommand() {
  return {"flash",
          "Upgrade the device with FILE: connect, then erase, program, verify and reset as \"Load Image\" does",
          AddOptions, Run};
}

}  // namespace fwup::cli
