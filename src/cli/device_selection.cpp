#include "cli/device_selection.hpp"

#include <chrono>
#include <cmath>

#include "cli/cli_error.hpp"
#include "cli/stop_request.hpp"
#include "cli/wait_for_device.hpp"

namespace fwup::cli {

std::vector<std::string> SelectDevices(Context& context, Display& display) {
  const Options& options = context.options;
  HidBus& bus = context.devices->bus();
  if (options.wait_seconds > 0) {
    const auto limit = std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(options.wait_seconds * 1000)));
    WaitForDevice(bus, options.path, limit, display, SystemClock());
    if (StopRequested())
      throw CliError(ExitCode::kInterrupted, "stopped while waiting for a device: no device was touched");
  }
  std::vector<std::string> paths = MatchingPaths(bus, options.path);
  if (paths.size() > 1 && !options.path && !options.all) {
    display.Note("note: " + std::to_string(paths.size()) + " devices in Firmware Upgrade Mode are present; using '" +
                 paths.front() + "', the first one found. Pick another with --path PATH ('fwupgrade list' shows them)" +
                 (context.options.file.empty() ? std::string(".") : std::string(", or flash them all with --all.")));
    Json others = Json::Array();
    for (std::size_t i = 1; i < paths.size(); ++i) others.Append(paths[i]);
    context.result["other_devices"] = std::move(others);
  }
  return paths;
}

}  // namespace fwup::cli
