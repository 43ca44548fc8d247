#include "cli/flash_all.hpp"

#include <algorithm>
#include <thread>

#include "cli/bench_display.hpp"
#include "cli/cli_error.hpp"
#include "cli/connection.hpp"
#include "cli/device_selection.hpp"
#include "cli/flash_device.hpp"
#include "cli/flash_report.hpp"
#include "cli/text_display.hpp"

namespace fwup::cli {

ExitCode FlashAll(Context& context, const CheckedFile& file) {
  const Options& options = context.options;
  TextDisplay notes(context.console, options.json);
  const std::vector<std::string> paths = SelectDevices(context, notes);
  if (paths.empty()) {
    throw CliError(ExitCode::kDeviceNotFound, NoDeviceText(std::nullopt));
  }

  BenchDisplay bench(context.console, paths, options.json, options.verbose);
  std::vector<std::unique_ptr<ShellView>> views;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    views.push_back(std::make_unique<ShellView>(bench.Row(i), options.verbose));
  }
  std::vector<DeviceOutcome> outcomes(paths.size());
  {
    std::vector<std::jthread> devices;  // joined when this scope ends, also on a throw
    for (std::size_t i = 0; i < paths.size(); ++i) {
      devices.emplace_back([&, i] {
        const FlashSettings settings{options.force, paths[i], context.platform.access_denied_advice};
        try {
          outcomes[i] = FlashDevice(context.devices->bus(), file, settings, *views[i]);
        } catch (const std::exception& failure) {
          outcomes[i].code = ExitCode::kInternal;
          outcomes[i].error = failure.what();
          outcomes[i].result = "Internal Error";
        }
        if (outcomes[i].path.empty()) outcomes[i].path = paths[i];
      });
    }
  }
  bench.Finish();

  Json devices = Json::Array();
  std::size_t matched = 0;
  std::string failed;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const DeviceOutcome& outcome = outcomes[i];
    Json entry = Json::Object();
    AddDeviceJson(entry, outcome, views[i]->record());
    entry["exit_code"] = ToInt(outcome.code);
    if (outcome.code == ExitCode::kSuccess) {
      ++matched;
    } else {
      Json error = Json::Object();
      error["kind"] = KindOf(outcome.code);
      error["message"] = outcome.error;
      entry["error"] = std::move(error);
      failed += (failed.empty() ? "" : ", ") + outcome.path + " (" + outcome.result + ")";
    }
    devices.Append(std::move(entry));
  }
  context.result["devices"] = std::move(devices);
  context.result["matched"] = matched;
  context.result["total"] = outcomes.size();

  if (!options.json) {
    for (const DeviceOutcome& outcome : outcomes) {
      if (outcome.code != ExitCode::kSuccess) context.console.err << outcome.path << ": " << outcome.error << '\n';
    }
    context.console.out << '\n'
                        << SummaryTable(outcomes) << matched << " of " << outcomes.size()
                        << " devices ended with CRC Matched.\n";
  }
  if (matched == outcomes.size()) return ExitCode::kSuccess;
  const auto stopped = std::count_if(outcomes.begin(), outcomes.end(), [](const DeviceOutcome& outcome) {
    return outcome.code == ExitCode::kInterrupted;
  });
  if (stopped > 0) {
    throw CliError(ExitCode::kInterrupted, "stopped: " + std::to_string(stopped) + " of " +
                                               std::to_string(outcomes.size()) + " devices did not finish (" + failed +
                                               "); each device's message says where it was left");
  }
  throw CliError(ExitCode::kNotAllMatched, std::to_string(outcomes.size() - matched) + " of " +
                                               std::to_string(outcomes.size()) +
                                               " devices did not end with CRC Matched: " + failed +
                                               "; flash each of them again with --path PATH");
}

}  // namespace fwup::cli
