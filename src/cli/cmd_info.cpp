// fwupgrade info: connects as the dialog does and shows the connection status, the versions and
// the application region.
#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/cli_error.hpp"
#include "cli/command.hpp"
#include "cli/connection.hpp"
#include "cli/device_selection.hpp"
#include "cli/flash_report.hpp"
#include "cli/option_groups.hpp"
#include "cli/shell_view.hpp"
#include "cli/stop_request.hpp"
#include "cli/text.hpp"
#include "cli/text_display.hpp"
#include "upgrade/query_device_info.hpp"

namespace fwup::cli {
namespace {

void AddOptions(CLI::App& command, Options& options) {
  AddDeviceOptions(command, options, true);
  AddSimulatorOptions(command, options, true);
  AddOutputOptions(command, options, true);
}

Json StatusList(const ViewRecord& record) {
  Json statuses = Json::Array();
  for (const std::string& status : record.statuses) statuses.Append(status);
  return statuses;
}

ExitCode Run(Context& context) {
  context.devices = DeviceSource::Create(context.options, context.platform);
  TextDisplay display(context.console, context.options.json);
  SelectDevices(context, display);
  ShellView view(display, context.options.verbose);
  auto session = std::make_unique<Session>(context.devices->bus(), view, view);  // 64 KiB image
  session->only_path = context.options.path;
  if (StopRequested()) throw CliError(ExitCode::kInterrupted, "stopped before connecting: no device was touched");

  const ConnectResult connected = ConnectAsDialog(*session, context.platform.access_denied_advice);
  Json& result = context.result;
  result["path"] = session->link.Path().empty() ? Json() : Json(session->link.Path());
  result["status"] = StatusList(view.record());
  result["version_line"] = view.record().version_text;
  result["versions"] = VersionsJson(session->app_version_taken, session->app_version, session->boot_version_taken,
                                    session->boot_version);
  if (connected.code != ExitCode::kSuccess) throw CliError(connected.code, connected.error);

  if (StopRequested()) {
    session->link.Close();
    throw CliError(ExitCode::kInterrupted,
                   "stopped after connecting, before the region was asked for: the device "
                   "is unchanged and stays in Firmware Upgrade Mode");
  }
  const bool region_known = QueryDeviceInfo(*session) == kStageSuccess;
  session->link.Close();
  result["status"] = StatusList(view.record());
  if (!region_known) {
    const TransferResult& failed = session->outcome.failed_transfer;
    throw CliError(ExitCode::kDeviceFailure,
                   failed.ok ? "the device reported an application region outside the 64 KiB image (" +
                                   OneLine(session->trace.TraceBuffer()) + ")"
                             : "Query Device Info Failed: the device did not tell its application region (" +
                                   TransferText(failed) + "); check the connection and run info again");
  }
  const DeviceInfoValues& region = session->DeviceInfo;
  Json json_region = Json::Object();
  json_region["start"] = region.ApplicationFirmwareStartAddress;
  json_region["size"] = region.ApplicationFirmwareSize;
  result["region"] = std::move(json_region);
  if (!context.options.json) {
    context.console.out << "Device Path: " << session->link.Path() << '\n'
                        << "Application Region: "
                        << RegionText(region.ApplicationFirmwareStartAddress, region.ApplicationFirmwareSize) << '\n';
  }
  // The versions are what info is asked for; the dialog would show the failure and go on.
  const auto& statuses = view.record().statuses;
  if (std::find(statuses.begin(), statuses.end(), "Version Query Failed") != statuses.end()) {
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
