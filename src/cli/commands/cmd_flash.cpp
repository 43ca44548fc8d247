// fwupgrade flash: connects as the dialog does when it starts, then runs the whole upgrade as
// "Load Image" does. With --all, a factory bench flashes every device in Firmware Upgrade Mode at
// once: each device gets its own session of the core and its own link, on its own thread, and one
// failing never stops or disturbs the others.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <thread>

#include "cli/arguments/command.hpp"
#include "cli/display/terminal_view.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/devices.hpp"
#include "cli/flash/firmware_file_check.hpp"
#include "cli/flash/flash_device.hpp"
#include "cli/records/board_log.hpp"
#include "cli/watch/watch.hpp"

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
  AddWatchOptions(command, options);
  for (const char* other : {"--all", "--path", "--wait"}) command.get_option("--watch")->excludes(other);
  command
      .add_option("--log", options.log,
                  "append a line of JSON for every board flashed to FILE (created when missing, never truncated; "
                  "several benches may share one)")
      ->type_name("FILE")
      ->check(NotEmpty());
  AddSimulatorOptions(command, options, true);
  command.get_option("--sim-arrivals")->needs("--simulate");
  AddOutputOptions(command, options, true);
}

ExitCode FlashAll(Context& context, const CheckedFile& file, BoardRecorder& recorder,
                  const std::vector<std::string>& paths) {
  const Options& options = context.options;
  context.devices->CheckWireLogs(options, static_cast<unsigned>(paths.size()));

  Screen bench(context.console, options.json, options.verbose, paths);
  std::vector<std::unique_ptr<DeviceView>> views;
  for (std::size_t i = 0; i < paths.size(); ++i) views.push_back(std::make_unique<DeviceView>(bench, i));
  std::vector<DeviceRecord> records(paths.size());
  {
    std::vector<std::jthread> devices;  // joined when this scope ends, also on a throw
    for (std::size_t i = 0; i < paths.size(); ++i) {
      devices.emplace_back([&, i] {
        records[i] = FlashDeviceBeside(context.devices->bus(), file,
                                       {options.force, paths[i], context.platform.access_denied_advice}, *views[i]);
        recorder.Record(records[i]);
      });
    }
  }
  bench.Finish();

  Json devices = Json::Array();
  std::size_t matched = 0;
  std::size_t stopped = 0;
  std::string failed;
  // The summary table: versions before, the seconds right-aligned.
  std::vector<std::vector<std::string>> rows = {{"PATH", "LOCATION", "APPLICATION", "BOOT", "VERDICT", "SECONDS"}};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const DeviceRecord& record = records[i];
    devices.Append(EntryJson(record, views[i]->record()));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", record.seconds);
    const DeviceVersions& versions = record.versions;
    rows.push_back({record.path, record.location.empty() ? "-" : record.location,
                    versions.application_taken ? versions.application : "-", versions.boot_taken ? versions.boot : "-",
                    record.result, seconds});
    if (record.code == ExitCode::kSuccess) {
      ++matched;
      continue;
    }
    stopped += record.code == ExitCode::kInterrupted ? 1 : 0;
    failed += (failed.empty() ? "" : ", ") + record.path + " (" + record.result + ")";
    if (!options.json) context.console.err << record.path << ": " << record.error << '\n';
  }
  context.result["devices"] = std::move(devices);
  context.result["matched"] = matched;
  context.result["total"] = records.size();
  const std::string of = " of " + std::to_string(records.size()) + " devices";
  if (!options.json) {
    context.console.out << '\n';
    for (const std::string& line : Columns(rows, true)) context.console.out << line << '\n';
    context.console.out << matched << of << " ended with CRC Matched.\n";
  }
  recorder.Finish(matched == records.size() ? ExitCode::kSuccess : ExitCode::kNotAllMatched, context.console);
  if (matched == records.size()) return ExitCode::kSuccess;
  if (stopped > 0) {
    throw CliError(ExitCode::kInterrupted, "stopped: " + std::to_string(stopped) + of + " did not finish (" + failed +
                                               "); each device's message says where it was left");
  }
  throw CliError(ExitCode::kNotAllMatched, std::to_string(records.size() - matched) + of +
                                               " did not end with CRC Matched: " + failed +
                                               "; flash each of them again with --path PATH");
}

ExitCode Run(Context& context) {
  const Options& options = context.options;
  context.devices = DeviceSource::Create(options, context.platform);
  context.result["file"] = options.file;

  // The file is loaded and checked before any device is touched; the run shows the dialog's
  // texts for it later.
  Screen silent(context.console, true, false);
  DeviceView check_view(silent);
  const CheckedFile file = CheckFirmwareFile(PathFromUtf8(options.file), check_view, check_view);
  if (!file.accepted) {
    DeviceRecord refused;
    refused.run.step = RunStep::LoadImage;
    refused.result = file.dialog_text;
    AddDeviceJson(context.result, refused, {}, true);
    throw CliError(ExitCode::kFileRefused, DescribeRefusal(file) + "; no device was touched");
  }
  context.result["bytes_above_image"] = file.report.bytes_above_image;
  if (file.report.bytes_above_image > 0) check_view.Note("note: " + AboveImageNote(file));
  // The simulator's files and the wire log are checked now: a name that cannot be written stops
  // the run before a device is touched.
  context.devices->CheckOutputs(options);
  BoardRecorder recorder(options, file);
  if (options.watch) return FlashWatch(context, file, recorder);
  // flash --all's notes go on this screen too, before its devices' rows.
  Screen screen(context.console, options.json, options.verbose);
  DeviceView view(screen);
  const std::vector<std::string> paths = SelectDevices(context, view);
  if (options.all) return FlashAll(context, file, recorder, paths);
  const DeviceRecord record = FlashDevice(context.devices->bus(), file,
                                          {options.force, options.path, context.platform.access_denied_advice}, view);
  screen.Finish();
  AddDeviceJson(context.result, record, view.record(), true);
  recorder.Record(record);
  recorder.Finish(record.code, context.console);
  if (record.code != ExitCode::kSuccess) throw CliError(record.code, record.error);
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry FlashCommand() {
  return {"flash",
          "Upgrade the device with FILE: connect, then erase, program, verify and reset as \"Load Image\" does",
          AddOptions, Run};
}

}  // namespace fwup::cli
