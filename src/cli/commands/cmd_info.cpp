// fwupgrade info: connects as the dialog does and shows the connection status, the versions and
// the application region.
#include <CLI/CLI.hpp>

#include "cli/arguments/command.hpp"
#include "cli/display/terminal_view.hpp"
#include "cli/display/text.hpp"
#include "cli/flash/devices.hpp"
#include "cli/flash/stop_request.hpp"
#include "upgrade/query_device_info.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  AddDeviceOptions(command, options, true);
  AddSimulatorOptions(command, options, true);
  AddOutputOptions(command, options, true);
}

ExitCode Run(Context& context) {
  context.devices = DeviceSource::Create(context.options, context.platform);
  context.devices->CheckOutputs(context.options);
  Screen screen(context.console, context.options.json, context.options.verbose);
  DeviceView view(screen);
  SelectDevices(context, view);
  auto session = std::make_unique<Session>(context.devices->bus(), view, view);  // holds a 64 KiB image
  session->settings.only = context.options.path;
  if (StopRequested()) throw CliError(ExitCode::kInterrupted, "stopped before connecting: no device was touched");

  DeviceRecord record;
  const bool connected = ConnectAsDialog(*session, context.platform.access_denied_advice, record);
  AddDeviceJson(context.result, record, view.record(), false);
  if (!connected) throw CliError(record.code, record.error);

  if (StopRequested()) {  // the session, going, closes the device
    throw CliError(ExitCode::kInterrupted,
                   "stopped after connecting, before the region was asked for: the device "
                   "is unchanged and stays in Firmware Upgrade Mode");
  }
  record.region = QueryDeviceInfo(session->connection, session->settings, session->firmware.FirmwareImage,
                                  session->shown, session->outcome);
  session->connection.link.Close();
  AddDeviceJson(context.result, record, view.record(), false);
  if (!record.region) {
    const TransferResult& failed = session->outcome.failed_transfer;
    throw CliError(ExitCode::kDeviceFailure,
                   failed.ok ? "the device reported an application region outside the 64 KiB image (" +
                                   OneLine(session->shown.trace.TraceBuffer()) + ")"
                             : "Query Device Info Failed: the device did not tell its application region (" +
                                   TransferText(failed) + "); check the connection and run info again");
  }
  const DeviceInfoValues& region = *record.region;
  if (!context.options.json) {
    context.console.out << "Device Path: " << record.path << '\n'
                        << "Location: " << (record.location.empty() ? "none" : record.location) << '\n'
                        << "Application Region: "
                        << RegionText(region.ApplicationFirmwareStartAddress, region.ApplicationFirmwareSize) << '\n';
  }
  // The versions are what info is asked for; the dialog would show the failure and go on.
  if (record.versions.query_failed) {
    throw CliError(ExitCode::kDeviceFailure,
                   "Version Query Failed: the device did not answer a version query; check the connection and run "
                   "info again");
  }
  return ExitCode::kSuccess;
}

}  // namespace

CommandEntry InfoCommand() {
  return {"info", "Connect as the dialog does; show the status, the versions and the application region", AddOptions,
          Run};
}

}  // namespace fwup::cli
